// The foreground handling of a message box on Windows, for the window's implementation of
// UserInterface::bring_to_front: the Qt window calls it with its own HWND (QWidget::winId()).
#pragma once

#include <cstdint>

namespace korvel {

/// Brings a top-level window forward: restores it if it is minimised, makes it the foreground
/// window (SetForegroundWindow) and the active window (SetActiveWindow), and shows it in its
/// restored state (ShowWindow with SW_RESTORE). `window` is the HWND as an integer; 0 does
/// nothing.
void bring_window_to_front(std::uintptr_t window);

}  // namespace korvel
