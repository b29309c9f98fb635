// korvel-update.com: the command line of korvel-update on Windows (app/terminal/), a console
// program beside the window's korvel-update.exe. cmd.exe takes a .com before an .exe of the
// same name (PATHEXT), so "korvel-update --list" typed at the prompt runs here, in that console,
// and the prompt waits for its exit code. "korvel-update" alone starts the window and ends.
#include "lib_getwnver.h"
#include "terminal_console.h"
#include "terminal_face.h"
#include "windows_platform.h"
#include "windows_util_platform.h"
#include "write_span_hold.h"
// After the seam's headers: <windows.h> defines macros named like some of their constants.
#include "win32_text.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

// korvel-update.exe from this program's folder, not waited for. Through the shell, which asks
// for the administrator's rights that program's manifest requires; a plain CreateProcess from
// a console without them is refused.
int start_window() {
    const std::string own = korvel::own_program_path();
    const std::string::size_type folder_end = own.find_last_of('\\');
    if (folder_end == std::string::npos) return korvel::EXIT_NO_START;
    const std::string folder = own.substr(0, folder_end);
    const std::string window = folder + "\\korvel-update.exe";
    std::vector<wchar_t> program(window.size() + 1);
    std::vector<wchar_t> directory(folder.size() + 1);
    korvel::wide_text(window.c_str(), program.data(), program.size());
    korvel::wide_text(folder.c_str(), directory.data(), directory.size());
    SHELLEXECUTEINFOW start{};
    start.cbSize = sizeof start;
    // Started before this returns, as this program ends right after it.
    start.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    start.lpFile = program.data();
    start.lpDirectory = directory.data();
    start.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&start)) return korvel::EXIT_DONE;
    korvel::write_terminal_text(korvel::TerminalStream::error,
                                "korvel-update: cannot start " + window + "\n");
    return korvel::EXIT_NO_START;
}

// Whether the process runs with the Administrators group in its token (an elevated one where
// Windows has user account control).
bool runs_as_administrator() {
    SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
        return true;  // unknown: no advice given
    }
    BOOL member = TRUE;
    if (!CheckTokenMembership(nullptr, administrators, &member)) member = TRUE;
    FreeSid(administrators);
    return member != FALSE;
}

}  // namespace

int main() {
    korvel::install_os_platform();
    korvel::install_os_util_platform();
    korvel::install_os_write_span_hold();
    korvel::detect_system_language();
    // UTF-8 arguments whatever the console's code page: a firmware file's path may hold any
    // character, and the face opens UTF-8 paths.
    std::vector<std::string> texts = korvel::utf8_arguments();
    if (texts.size() <= 1) return start_window();
    // The program's own path where its name was typed: the version is read from that file.
    const std::string own = korvel::own_program_path();
    if (!own.empty()) texts[0] = own;
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(texts.size());

    const int code = korvel::run_command_line_program(argc, argv.data(), nullptr);
    // The window's program asks for the administrator's rights when it starts; this one runs
    // with the console's, and without them Windows shows it no SCSI host adapter.
    if (code == korvel::EXIT_NO_START && !runs_as_administrator()) {
        korvel::write_terminal_text(
            korvel::TerminalStream::error,
            "korvel-update: only an administrator reaches the SCSI host adapters: run it in a "
            "Command Prompt started with \"Run as administrator\"\n");
    }
    return code;
}
