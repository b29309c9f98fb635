#include "regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace korvel {

namespace {

RegularFile open_regular(const char* path, int flags) {
    RegularFile file;
    struct stat status {};
    // Something that is not a file is refused before it is opened: opening a device can do
    // something of its own.
    if (path == nullptr || (::stat(path, &status) == 0 && !S_ISREG(status.st_mode))) {
        file.not_regular = true;
        return file;
    }
    // Without waiting: a FIFO put in the file's place meanwhile would otherwise block the open
    // until some other program opened its other end.
    int fd = -1;
    do {
        fd = ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // ENXIO: a FIFO opened for writing that nobody reads, or a device without its unit.
        if (errno == ENXIO) {
            file.not_regular = true;
        } else {
            file.error = errno;
        }
        return file;
    }
    // What counts is what was opened, not what the path named a moment earlier.
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        file.not_regular = true;
        return file;
    }
    // A regular file never waits; take the flag off so nobody meets it later.
    const int status_flags = ::fcntl(fd, F_GETFL);
    if (status_flags >= 0) ::fcntl(fd, F_SETFL, status_flags & ~O_NONBLOCK);
    file.descriptor = fd;
    file.identity = {static_cast<std::uint64_t>(status.st_dev),
                     static_cast<std::uint64_t>(status.st_ino)};
    return file;
}

}  // namespace

RegularFile open_regular_file_for_reading(const char* path) {
    return open_regular(path, O_RDONLY);
}

RegularFile open_regular_file_for_writing(const char* path) {
    return open_regular(path, O_WRONLY | O_CREAT);
}

long long read_regular_file(int descriptor, void* buffer, std::size_t size, int& error) {
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, size);
        if (count >= 0) return count;
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

bool write_regular_file(int descriptor, const void* bytes, std::size_t size) {
    const auto* next = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t count = ::write(descriptor, next, size);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        next += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

bool truncate_regular_file(int descriptor, std::uint64_t size) {
    int result = 0;
    do {
        result = ::ftruncate(descriptor, static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

void close_regular_file(int descriptor) {
    if (descriptor >= 0) ::close(descriptor);
}

}  // namespace korvel
