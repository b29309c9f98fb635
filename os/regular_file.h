// Opening the files of a scripted run (korvel-sim's bus, script and journal) so that nothing
// named on its command line can make it wait or read what is not a file: a FIFO, a device, a
// socket or a folder is refused at once instead of being opened and read (or waited on).
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvel {

/// Which file an open descriptor reaches, whatever path named it: equal identities are one
/// file (the same volume and file number), so a hard link or a symbolic link gives it away.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t number = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

/// What an open gave: a C runtime descriptor, or why not.
struct RegularFile {
    int descriptor = -1;  ///< -1 when the open failed
    FileIdentity identity;
    bool not_regular = false;  ///< failed: the path names something other than a regular file
    int error = 0;             ///< failed otherwise: the errno value (ENOENT, EACCES, ...)
};

/// Opens an existing regular file for reading. path is UTF-8.
RegularFile open_regular_file_for_reading(const char* path);
/// Opens a regular file for writing, creating it when missing. An existing file keeps its
/// contents, so that the caller can first make sure it is not a file it still needs.
RegularFile open_regular_file_for_writing(const char* path);

/// Reads at most size bytes from an open file into buffer: the count read, 0 at the end, -1
/// after a read error (its errno value in error).
long long read_regular_file(int descriptor, void* buffer, std::size_t size, int& error);
/// Writes all size bytes; false when the system took fewer (a full disk, a size limit).
bool write_regular_file(int descriptor, const void* bytes, std::size_t size);
/// Cuts the file to size bytes.
bool truncate_regular_file(int descriptor, std::uint64_t size);
void close_regular_file(int descriptor);

}  // namespace korvel
