// Message boxes in front of everything, and files opened by mode.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvel {

/// Brings the application to the front (restored, foreground, active), then shows a modal
/// message box with the text, caption and flags (Windows MB_ values, passed unchanged).
/// Returns the button pressed (ID_OK 1, ID_YES 6, ID_NO 7), or 0 when no user interface is
/// installed.
int show_message(const char* text, const char* caption, std::uint32_t flags);

/// Modes of open_file: access in bits 0-1, sharing in bits 4-6.
inline constexpr std::int32_t OPEN_READ = 0x00;
inline constexpr std::int32_t OPEN_WRITE = 0x01;
inline constexpr std::int32_t OPEN_READ_WRITE = 0x02;
inline constexpr std::int32_t SHARE_EXCLUSIVE = 0x10;
inline constexpr std::int32_t SHARE_DENY_WRITE = 0x20;
inline constexpr std::int32_t SHARE_DENY_READ = 0x30;
inline constexpr std::int32_t SHARE_DENY_NONE = 0x40;
/// Mode 1 is not an access value here: it creates (or empties) the file and opens it for
/// reading and writing.
inline constexpr std::int32_t OPEN_CREATE = 0x01;

/// How many files may be open at once through open_file.
inline constexpr int MAX_OPEN_FILES = 8;

/// Opens a file by mode. Mode OPEN_CREATE creates the file or empties an existing one and
/// returns it open for reading and writing; any other mode opens an existing file with that
/// access and sharing (OPEN_READ | SHARE_DENY_NONE = 64 for a firmware image). A null path is
/// an empty name. Returns a handle above 0, or -1 when the file cannot be opened or
/// MAX_OPEN_FILES are already open.
int open_file(const char* path, std::int32_t mode);

/// Reads up to size bytes at the file position; returns the count read (less than size only
/// at the end of the file) or -1 for a bad handle or a read error.
std::int32_t file_read(int handle, void* buffer, std::uint32_t size);

/// Writes size bytes at the file position; returns the count written or -1.
std::int32_t file_write(int handle, const void* buffer, std::uint32_t size);

/// Moves the file position (origin SEEK_FROM_START, SEEK_FROM_CURRENT or SEEK_FROM_END);
/// returns the new position from the start, or -1.
std::int64_t file_seek(int handle, std::int64_t offset, int origin);

/// The file's length in bytes, leaving the position where it was; -1 for a bad handle.
std::int64_t file_size(int handle);

/// Closes a handle from open_file; 0, or -1 when the handle is not open.
int file_close(int handle);

}  // namespace korvel
