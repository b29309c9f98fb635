// Texts between the program (UTF-8) and the W functions of Windows (UTF-16), converted only
// at that border, so Chinese and Japanese texts show whatever the system's ANSI code page is.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace korvel {

/// text as UTF-16 in wide (capacity characters with the zero), and wide. A text too long for
/// it is cut at a character; invalid UTF-8 bytes become U+FFFD.
const wchar_t* wide_text(const char* text, wchar_t* wide, std::size_t capacity);

/// wide as UTF-8 in text (capacity bytes with the zero); false when it does not fit.
bool utf8_text(const wchar_t* wide, char* text, std::size_t capacity);

/// The program's arguments, its own name first, as UTF-8 whatever the system's code page:
/// the wide command line split as CommandLineToArgvW splits it. Empty when it cannot be read.
std::vector<std::string> utf8_arguments();

/// The running program's own path as UTF-8; empty when it cannot be read.
std::string own_program_path();

}  // namespace korvel
