#include "linux_util_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvel {

namespace {

// Linux executables carry no version resource. The program's own file reports the version the
// build gave it; every other file has none.
class LinuxFileVersions final : public FileVersionSource {
public:
    bool fixed_file_info(const char* path, FixedFileInfo& info) override {
        if (!is_own_executable(path)) return false;
        info = FixedFileInfo{};
        info.signature = FIXED_FILE_INFO_SIGNATURE;
        info.struct_version = 0x00010000u;
        info.file_version_ms = version_word(KORVEL_VERSION_MAJOR, KORVEL_VERSION_MINOR);
        info.file_version_ls = version_word(KORVEL_VERSION_RELEASE, KORVEL_VERSION_BUILD);
        info.product_version_ms = info.file_version_ms;
        info.product_version_ls = info.file_version_ls;
        info.file_flags_mask = VS_FF_DEBUG;
        return true;
    }

private:
    static constexpr std::uint32_t version_word(unsigned high, unsigned low) {
        return static_cast<std::uint32_t>(high) << 16 | static_cast<std::uint32_t>(low);
    }

    // The same file as the running executable, by device and inode, whatever path names it.
    static bool is_own_executable(const char* path) {
        struct stat wanted {};
        struct stat own {};
        if (path == nullptr || ::stat(path, &wanted) != 0) return false;
        if (::stat("/proc/self/exe", &own) != 0) return false;
        return wanted.st_dev == own.st_dev && wanted.st_ino == own.st_ino;
    }
};
static_assert(KORVEL_VERSION_MAJOR <= 0xFFFF && KORVEL_VERSION_MINOR <= 0xFFFF &&
                  KORVEL_VERSION_RELEASE <= 0xFFFF && KORVEL_VERSION_BUILD <= 0xFFFF,
              "each version number must fit in 16 bits");

// There is no desktop-wide icon font to ask here; the window replaces this source with one
// that asks the GUI toolkit for its general font.
class LinuxFonts final : public FontSource {
public:
    bool icon_font_name(char* name, std::size_t capacity) override {
        const std::size_t length = std::strlen(LINUX_DEFAULT_FONT_NAME);
        if (name == nullptr || capacity <= length) return false;
        std::memcpy(name, LINUX_DEFAULT_FONT_NAME, length + 1);
        return true;
    }
};

// Plain files through open(2). Linux has no sharing modes (locks are advisory), so the
// sharing value is ignored: a file is never refused because another program has it open.
class LinuxFiles final : public FileSystem {
public:
    OsFile create_file(const char* path) override {
        if (path == nullptr) return NO_OS_FILE;
        return open_regular(path, O_RDWR | O_CREAT | O_TRUNC);
    }

    OsFile open_file(const char* path, int access, int /*sharing*/) override {
        if (path == nullptr) return NO_OS_FILE;
        switch (access) {
            case 0: return open_regular(path, O_RDONLY);
            case 1: return open_regular(path, O_WRONLY);
            case 2: return open_regular(path, O_RDWR);
            default: return NO_OS_FILE;
        }
    }

    std::int64_t read(OsFile file, void* buffer, std::size_t size) override {
        ssize_t count = 0;
        do {
            count = ::read(descriptor(file), buffer, size);
        } while (count < 0 && errno == EINTR);
        return count;
    }

    std::int64_t write(OsFile file, const void* buffer, std::size_t size) override {
        ssize_t count = 0;
        do {
            count = ::write(descriptor(file), buffer, size);
        } while (count < 0 && errno == EINTR);
        return count;
    }

    std::int64_t seek(OsFile file, std::int64_t offset, int origin) override {
        int whence = SEEK_SET;
        if (origin == SEEK_FROM_CURRENT) whence = SEEK_CUR;
        if (origin == SEEK_FROM_END) whence = SEEK_END;
        return ::lseek(descriptor(file), static_cast<off_t>(offset), whence);
    }

    void close(OsFile file) override { ::close(descriptor(file)); }

private:
    static int descriptor(OsFile file) { return static_cast<int>(file); }

    // Opens path with flags, for regular files only. A FIFO, device node or directory is
    // refused without blocking and without reading from it: the name is looked at first, so
    // that a device is never opened (opening some has effects of their own), the open does not
    // wait for a FIFO's other end, and the opened descriptor is checked again in case the name
    // changed in between.
    static OsFile open_regular(const char* path, int flags) {
        struct stat status {};
        if (::stat(path, &status) == 0 && !S_ISREG(status.st_mode)) return NO_OS_FILE;
        int fd = -1;
        do {
            fd = ::open(path, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) return NO_OS_FILE;
        const int file_flags = ::fcntl(fd, F_GETFL);
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || file_flags < 0 ||
            ::fcntl(fd, F_SETFL, file_flags & ~O_NONBLOCK) != 0) {
            ::close(fd);
            return NO_OS_FILE;
        }
        return fd;
    }
};

LinuxFileVersions linux_file_versions;
LinuxFonts linux_fonts;
LinuxFiles linux_files;

}  // namespace

void install_os_util_platform() {
    UtilPlatform platform;
    platform.versions = &linux_file_versions;
    platform.fonts = &linux_fonts;
    platform.files = &linux_files;
    install_util_platform(platform);
}

}  // namespace korvel
