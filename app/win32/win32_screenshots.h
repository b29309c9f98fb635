// korvel-sim.exe's picture mode for the documentation: the Win32 window, a device hint and the
// update confirmation, each saved as a bitmap (BMP) of the screen around the window.
#pragma once

#include <string>

namespace korvel {

class Win32MainWindow;

/// Once the window has scanned its bus, saves window-win32-<tag>.bmp, hint-win32-<tag>.bmp and
/// confirm-win32-<tag>.bmp into folder (UTF-8), answers the confirmation with No (nothing is
/// written), and closes the window. firmware_folder holds the demo's sample files.
void take_win32_screenshots(Win32MainWindow& window, const std::string& folder,
                            const std::string& tag, const std::string& firmware_folder);

}  // namespace korvel
