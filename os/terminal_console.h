// The terminal the command line runs in: whether the standard streams are one, text written to
// them, an answer read from the keyboard, and the interrupts a person at the terminal can send
// (Ctrl+C, a closed window or connection), held off while a write runs.
//
// This header stays free of operating-system headers so that the terminal face can include it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvel {

enum class TerminalStream : std::uint8_t { input, output, error };

/// Whether a standard stream is a terminal (on Windows a console).
bool is_terminal(TerminalStream stream);

/// Writes UTF-8 text to standard output or error: to a console as its characters, to a file
/// or pipe as the bytes. A stream that is closed or full loses the text and nothing else
/// happens: a vanished reader must never end an update.
void write_terminal_text(TerminalStream stream, std::string_view text);

/// Reads one line of the keyboard's answer from standard input into buffer (UTF-8, without its
/// line end, zero-terminated; the rest of a longer line is read and dropped). False at the end
/// of the input or on an error.
bool read_terminal_line(char* buffer, std::size_t size);

/// Readies the process for the terminal: a write to a closed pipe fails instead of ending it.
void prepare_terminal_process();

/// While held, nothing a person at the terminal does ends the process: Ctrl+C and Ctrl+Break
/// say on standard error that the write goes on, a closed terminal or connection and the
/// terminate signal are ignored (Windows: a closed console window waits for the release).
/// Released, everything is as before the hold.
void hold_terminal_interrupts();
void release_terminal_interrupts();

}  // namespace korvel
