#include "regular_file.h"

// Before <windows.h>, whose macros would clash with the seam's constants.
#include "windows_util_platform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <new>

namespace korvel {

namespace {

// Room for a long path (\\?\ form) and its terminating zero.
constexpr std::size_t WIDE_PATH_CAPACITY = 32768;

int errno_of(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return ENOENT;
        case ERROR_ACCESS_DENIED: return EACCES;
        case ERROR_SHARING_VIOLATION: return EBUSY;
        default: return EIO;
    }
}

RegularFile open_regular(const char* path, DWORD access, DWORD disposition, int crt_flags) {
    RegularFile file;
    const std::unique_ptr<wchar_t[]> name(new (std::nothrow) wchar_t[WIDE_PATH_CAPACITY]);
    if (path == nullptr || name == nullptr || !utf8_to_wide(path, name.get(), WIDE_PATH_CAPACITY)) {
        file.error = ENOENT;
        return file;
    }
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open; a pipe that is busy fails
    // at once rather than waiting.
    const HANDLE handle = CreateFileW(name.get(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_BUSY) {
            file.not_regular = true;
        } else {
            file.error = errno_of(error);
        }
        return file;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    // A pipe, a console or a device such as NUL is not a file on a disk.
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(handle);
        file.not_regular = true;
        return file;
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), crt_flags | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        file.error = EMFILE;
        return file;
    }
    file.descriptor = fd;
    file.identity = {information.dwVolumeSerialNumber,
                     static_cast<std::uint64_t>(information.nFileIndexHigh) << 32 |
                         information.nFileIndexLow};
    return file;
}

}  // namespace

RegularFile open_regular_file_for_reading(const char* path) {
    return open_regular(path, GENERIC_READ, OPEN_EXISTING, _O_RDONLY);
}

RegularFile open_regular_file_for_writing(const char* path) {
    return open_regular(path, GENERIC_WRITE, OPEN_ALWAYS, _O_WRONLY);
}

long long read_regular_file(int descriptor, void* buffer, std::size_t size, int& error) {
    // _read takes an unsigned int count: read in pieces a 32-bit count can hold.
    const unsigned piece = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
    const int count = _read(descriptor, buffer, piece);
    if (count < 0) error = errno;
    return count;
}

bool write_regular_file(int descriptor, const void* bytes, std::size_t size) {
    const auto* next = static_cast<const char*>(bytes);
    while (size > 0) {
        const unsigned piece = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
        const int count = _write(descriptor, next, piece);
        if (count <= 0) return false;
        next += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

bool truncate_regular_file(int descriptor, std::uint64_t size) {
    // Through the handle: msvcrt.dll of Windows XP has no _chsize_s.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    if (handle == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
}

void close_regular_file(int descriptor) {
    if (descriptor >= 0) _close(descriptor);
}

}  // namespace korvel
