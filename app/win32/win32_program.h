// The program start of korvel-update.exe after the platform is installed and the language
// detected: common controls, the Win32 user interface, the main window and its message loop.
#pragma once

#include <windows.h>

#include <functional>

namespace korvel {

class Win32MainWindow;

/// Creates the main window, lets prepare adjust it (may be empty), shows it (show_command as
/// for ShowWindow) and runs the message loop. Returns the exit code: the loop's after an
/// ordinary close (0), 1 when the SCSI service could not start, when Windows refused the
/// window, or when an exception reached the window.
int run_win32_program(HINSTANCE instance, int show_command,
                      const std::function<void(Win32MainWindow&)>& prepare = {});

}  // namespace korvel
