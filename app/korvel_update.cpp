// korvel-update: the program. The operating system's SCSI service (with the bridges' nodes from
// the root helper for an ordinary user), the system locale's language, and the window, or with
// "--" options the command line (app/terminal/), which needs no display; one running copy per
// machine either way.
//
// This is the Qt program of Linux; on Windows korvel-update.exe is the native Win32 face
// (app/win32/korvel_update_win32.cpp).
#include "korvel_program.h"
#include "korvel_sg_rights.h"
#include "lib_getwnver.h"
#include "linux_platform.h"
#include "linux_util_platform.h"
#include "one_copy.h"
#include "terminal_face.h"
#include "write_span_hold.h"

int main(int argc, char** argv) {
    korvel::install_os_platform();
    korvel::install_os_util_platform();
    korvel::install_os_write_span_hold();
    // The language is read before any window exists; the catalogue uses it from then on.
    korvel::detect_system_language();
    // The command line asks an ordinary user for the bridges' rights as the window does.
    if (korvel::wants_command_line(argc, argv)) {
        return korvel::run_command_line_program(argc, argv, korvel::obtain_bridge_rights);
    }
    // One copy per machine: claimed before any window or device is opened, held until the
    // program ends. Only a copy found running stops this start; a claim the system refuses
    // for another reason tells nothing of other copies, and the program runs.
    if (korvel::claim_one_copy(korvel::KORVEL_UPDATE_COPY_NAME) == korvel::CopyClaim::taken) {
        return korvel::run_second_copy(argc, argv);
    }
    // Only the copy that runs asks an ordinary user for the administrator's password, and
    // before any window exists.
    korvel::obtain_bridge_rights();
    return korvel::run_program(argc, argv, {});
}
