// The program start of korvel-update.exe after the platform is installed and the language
// detected: common controls, the Win32 user interface, the main window and its message loop;
// and the start of a second copy, which hands over to the first.
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

/// The end of a start that found a copy of the program already running: brings that copy's
/// window forward and returns 0 when this session shows it; otherwise (another user's session,
/// or a copy whose window is not shown yet) says in a box that the program already runs and
/// returns 1. No window of its own, no device opened.
int hand_over_to_running_copy();

}  // namespace korvel
