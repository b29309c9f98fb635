// korvel-update: the program. No command line, no configuration: the operating system's SCSI
// service (with the bridges' nodes from the root helper for an ordinary user), the system
// locale's language, and the window.
//
// This is the Qt program of Linux; on Windows korvel-update.exe is the native Win32 face
// (app/win32/korvel_update_win32.cpp).
#include "korvel_program.h"
#include "korvel_sg_rights.h"
#include "lib_getwnver.h"
#include "linux_platform.h"
#include "linux_util_platform.h"
#include "write_span_hold.h"

int main(int argc, char** argv) {
    korvel::install_os_platform();
    korvel::install_os_util_platform();
    korvel::install_os_write_span_hold();
    // An ordinary user is asked for the administrator's password before any window exists.
    korvel::obtain_bridge_rights();
    // The language is read before any window exists; the catalogue uses it from then on.
    korvel::detect_system_language();
    return korvel::run_program(argc, argv, {});
}
