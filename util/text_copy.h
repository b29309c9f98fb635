// Bounded copies of UTF-8 text into fixed buffers.
#pragma once

#include <cstddef>

namespace korvel {

/// Copies as much of source as fits into size bytes (size at least 1) with the terminating
/// zero, cutting only between UTF-8 characters so a shortened text never ends in half a
/// character.
void copy_utf8_text(char* target, std::size_t size, const char* source);

}  // namespace korvel
