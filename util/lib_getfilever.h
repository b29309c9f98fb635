// Version numbers of a file, read from its version resource, and their text for the window.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvel {

/// Room for the longest version text, "65535.65535.65535.65535", and its terminating zero.
inline constexpr std::size_t VERSION_TEXT_SIZE = 24;

/// Reads the file version (major, minor, release, build) and, when debug is given, the debug
/// flag (1 when the resource's flags have VS_FF_DEBUG set, whatever the flags mask says).
/// Returns 1 when the numbers were read, 0 otherwise; on 0 nothing is written.
int file_version(const char* path, std::uint32_t& major, std::uint32_t& minor,
                 std::uint32_t& release, std::uint32_t& build, std::uint8_t* debug = nullptr);

/// Writes "major.minor.release.build" into text (at most size bytes with the terminating zero),
/// or an empty text when the file has no version. Returns the result of file_version.
int version_text(const char* path, char* text, std::size_t size, std::uint8_t* debug = nullptr);

}  // namespace korvel
