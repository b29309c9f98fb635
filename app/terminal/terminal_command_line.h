// korvel-update's command line: which job a start asks for, and its words for --help.
#pragma once

#include <string>

namespace korvel {

/// Exit codes of the command line.
inline constexpr int EXIT_DONE = 0;      ///< listed; the file is sound; written and verified
inline constexpr int EXIT_REFUSED = 1;   ///< the file rejected, the question declined or not
                                         ///< asked, the write failed, or no such bridge
inline constexpr int EXIT_USAGE = 2;     ///< a command line it cannot follow
inline constexpr int EXIT_NO_START = 3;  ///< no SCSI service (message 6) or a copy already runs

enum class TerminalJob : unsigned char { window, help, version, list, check, update };

struct TerminalCommand {
    TerminalJob job = TerminalJob::window;
    std::string file;  ///< --check and --update: the firmware file, as given
    int host = -1;     ///< --target HOST:ID
    int target = -1;
    bool json = false;  ///< --list and --check: the machine-readable form
    bool yes = false;   ///< --update: no question asked
};

/// Whether a start is for the command line: any argument that starts with "--" is. Without
/// one, the program is the window (a toolkit's own single-dash options stay the window's).
bool wants_command_line(int argc, char** argv);

/// Reads the arguments after the program's name into command. On an argument it cannot
/// follow, returns false with error saying why (one line, without the program's name).
bool read_command_line(int argc, char** argv, TerminalCommand& command, std::string& error);

/// The text --help prints.
const char* command_line_help();

/// The one line that follows a usage error.
const char* command_line_usage();

}  // namespace korvel
