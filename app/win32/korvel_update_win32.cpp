// korvel-update.exe: the program on Windows. No configuration: the system's SCSI service (ASPI
// on the 9x family, its emulation over SCSI pass-through on the NT family), the system locale's
// language, and the native window; one running copy per machine. The command line is the
// console program korvel-update.com beside it (korvel_update_console.cpp).
#include "lib_getwnver.h"
#include "one_copy.h"
#include "terminal_command_line.h"
#include "windows_platform.h"
#include "windows_util_platform.h"
#include "write_span_hold.h"
// After the seam's headers: <windows.h> defines macros named like some of their constants.
#include "win32_main_window.h"
#include "win32_program.h"
#include "win32_text.h"

#include <string>
#include <vector>

namespace {

// A GUI program has no console to answer on: a "--" command given to it is pointed to the
// console program instead of opening the window.
bool sent_to_command_line() {
    std::vector<std::string> texts = korvel::utf8_arguments();
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    if (!korvel::wants_command_line(static_cast<int>(argv.size()), argv.data())) return false;
    MessageBoxW(nullptr,
                L"korvel-update.exe is the window. The command line is korvel-update.com in the "
                L"same folder: type \"korvel-update --help\" in a Command Prompt.",
                L"KORVEL Firmware Update", MB_OK | MB_ICONINFORMATION);
    return true;
}

}  // namespace

// WinMain, the entry of a GUI program with every Windows compiler (MinGW and MSVC alike).
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
    korvel::install_os_platform();
    korvel::install_os_util_platform();
    korvel::install_os_write_span_hold();
    // The language is read before any window exists; the catalogue uses it from then on.
    korvel::detect_system_language();
    if (sent_to_command_line()) return korvel::EXIT_USAGE;
    // One copy per machine: claimed before any window or device is opened, held until the
    // program ends. Only a copy found running stops this start; a claim the system refuses
    // for another reason tells nothing of other copies, and the program runs.
    if (korvel::claim_one_copy(korvel::KORVEL_UPDATE_COPY_NAME) == korvel::CopyClaim::taken) {
        return korvel::hand_over_to_running_copy();
    }
    // The window a later start brings forward.
    return korvel::run_win32_program(instance, show_command, [](korvel::Win32MainWindow& window) {
        window.mark_running_copy();
    });
}
