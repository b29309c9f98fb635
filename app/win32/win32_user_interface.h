// The user-interface seam served by Windows itself: message boxes (MessageBoxW), pumping the
// window messages that wait, and bringing the main window forward.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui_seam.h"

namespace korvel {

/// Message boxes take the MB_ flags unchanged and answer Windows' button identifiers. A box
/// belongs to the main window while that window is shown, so it stays in front of it and the
/// window waits for the answer.
class Win32UserInterface final : public UserInterface {
public:
    /// The window owning every box and brought to the front before it (may be null).
    void set_main_window(HWND window) { main_window_ = window; }

    void bring_to_front() override;
    int message_box(const char* text, const char* caption, std::uint32_t flags) override;
    /// Dispatches what waits in the thread's queue. A request to end the program found there
    /// is put back, so the loop that is to end sees it once the work at hand has finished.
    void process_pending_messages() override;

private:
    HWND main_window_ = nullptr;
};

/// Installs the Win32 user interface for the rest of the run.
void install_win32_user_interface(HWND main_window);

/// The user interface installed by install_win32_user_interface.
Win32UserInterface& win32_user_interface();

}  // namespace korvel
