// korvel-update.exe: the program on Windows. No command line, no configuration: the system's
// SCSI service (ASPI on the 9x family, its emulation over SCSI pass-through on the NT family),
// the system locale's language, and the native window; one running copy per machine.
#include "lib_getwnver.h"
#include "one_copy.h"
#include "windows_platform.h"
#include "windows_util_platform.h"
#include "write_span_hold.h"
// After the seam's headers: <windows.h> defines macros named like some of their constants.
#include "win32_main_window.h"
#include "win32_program.h"

// WinMain, the entry of a GUI program with every Windows compiler (MinGW and MSVC alike).
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
    korvel::install_os_platform();
    korvel::install_os_util_platform();
    korvel::install_os_write_span_hold();
    // The language is read before any window exists; the catalogue uses it from then on.
    korvel::detect_system_language();
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
