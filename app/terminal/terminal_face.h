// The command line's face: the window's form driven from the terminal. It presses the same
// buttons a person presses (adapter, target, update), answers the open dialog with the file
// given, asks the update question on the terminal and prints every message box the window
// would show. So the checks, the question, the commands sent and the write span are the
// window's own.
#pragma once

#include "terminal_command_line.h"

namespace korvel {

/// The start of a command-line run: reads argv into command. A usage error (exit code 2),
/// --help and --version (0) are answered here, on the terminal, and their exit code returned;
/// -1 means command is a job on the bridges for run_terminal_command.
int start_command_line(int argc, char** argv, TerminalCommand& command);

/// Runs --list, --check or --update over the installed platform; call after the language is
/// detected. While the update writes, the terminal's interrupts are held off along with the
/// installed write span hold. Returns the exit code.
int run_terminal_command(const TerminalCommand& command, const char* program_path);

/// korvel-update's command line: start_command_line; for a job on the bridges, the one-copy
/// claim (a copy already running is said, in the run's language, and gives EXIT_NO_START),
/// then before_devices (may be null; the bridges' rights on Linux), then run_terminal_command.
/// Returns the exit code.
int run_command_line_program(int argc, char** argv, void (*before_devices)());

}  // namespace korvel
