#include "terminal_command_line.h"

#include <cstring>

#include "korvel_main_view.h"
#include "korvel_main_form.h"

namespace korvel {

namespace {

// A whole decimal number from 0 to limit, nothing else.
bool read_number(const char* text, const char* end, int limit, int& value) {
    if (text == end || end - text > 3) return false;
    value = 0;
    for (const char* at = text; at != end; ++at) {
        if (*at < '0' || *at > '9') return false;
        value = value * 10 + (*at - '0');
    }
    return value <= limit;
}

// "HOST:ID", as the adapter buttons and the scan count them.
bool read_target(const char* text, TerminalCommand& command) {
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr) return false;
    return read_number(text, colon, HOST_BUTTONS - 1, command.host) &&
           read_number(colon + 1, colon + std::strlen(colon), SCANNED_TARGETS - 1,
                       command.target);
}

bool is(const char* argument, const char* option) { return std::strcmp(argument, option) == 0; }

}  // namespace

bool wants_command_line(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i] != nullptr && std::strncmp(argv[i], "--", 2) == 0) return true;
    }
    return false;
}

bool read_command_line(int argc, char** argv, TerminalCommand& command, std::string& error) {
    command = TerminalCommand{};
    bool target_given = false;
    const auto set_job = [&](TerminalJob job, const char* argument) {
        if (command.job != TerminalJob::window) {
            error = std::string(argument) + " goes with no other command";
            return false;
        }
        command.job = job;
        return true;
    };
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        // An option's value is never empty and never starts with "--" ("./--x" names such a file).
        const bool has_value = i + 1 < argc && argv[i + 1][0] != '\0' &&
                               std::strncmp(argv[i + 1], "--", 2) != 0;
        if (is(argument, "--help") || is(argument, "-h")) {
            if (!set_job(TerminalJob::help, argument)) return false;
        } else if (is(argument, "--version")) {
            if (!set_job(TerminalJob::version, argument)) return false;
        } else if (is(argument, "--list")) {
            if (!set_job(TerminalJob::list, argument)) return false;
        } else if (is(argument, "--check") || is(argument, "--update")) {
            if (!set_job(is(argument, "--check") ? TerminalJob::check : TerminalJob::update,
                         argument)) {
                return false;
            }
            if (!has_value) {
                error = std::string(argument) + " needs the firmware file";
                return false;
            }
            command.file = argv[++i];
        } else if (is(argument, "--target")) {
            if (target_given) {
                error = "--target is given twice";
                return false;
            }
            target_given = true;
            if (!has_value || !read_target(argv[++i], command)) {
                error = "--target needs HOST:ID, a host adapter 0 to 7 and a target ID 0 to 15";
                return false;
            }
        } else if (is(argument, "--json")) {
            command.json = true;
        } else if (is(argument, "--yes")) {
            command.yes = true;
        } else {
            error = std::string("unknown argument ") + argument;
            return false;
        }
    }
    const TerminalJob job = command.job;
    const bool on_a_bridge = job == TerminalJob::check || job == TerminalJob::update;
    if (job == TerminalJob::window) {
        error = "no command: give --list, --check, --update, --help or --version";
    } else if (on_a_bridge && !target_given) {
        error = "--check and --update need --target HOST:ID";
    } else if (!on_a_bridge && target_given) {
        error = "--target goes with --check or --update";
    } else if (command.json && job != TerminalJob::list && job != TerminalJob::check) {
        error = "--json goes with --list or --check";
    } else if (command.yes && job != TerminalJob::update) {
        error = "--yes goes with --update";
    } else {
        return true;
    }
    return false;
}

const char* command_line_help() {
    return "Usage:\n"
           "  korvel-update                              the window\n"
           "  korvel-update --list [--json]              the KORVEL bridges on every host adapter\n"
           "  korvel-update --check FILE --target HOST:ID [--json]\n"
           "                                             every check of an update, no write\n"
           "  korvel-update --update FILE --target HOST:ID [--yes]\n"
           "                                             the update; --yes answers its question\n"
           "  korvel-update --help | --version\n"
           "\n"
           "HOST is the host adapter (0 to 7) and ID the bridge's target ID (0 to 15), as\n"
           "--list shows them. Without --yes the update asks before it writes, on the terminal;\n"
           "without a terminal it writes nothing.\n"
           "\n"
           "Exit codes: 0 done (listed, the file is sound, the firmware written and verified);\n"
           "1 refused (the file rejected, the question declined or not asked, the write failed,\n"
           "or no bridge that takes an update at HOST:ID); 2 a command line it cannot follow;\n"
           "3 no start (the SCSI service did not start, or a copy of korvel-update already\n"
           "runs).\n";
}

const char* command_line_usage() { return "Try 'korvel-update --help' for the commands."; }

}  // namespace korvel
