// The operating-system seam of the utilities: version resources, the desktop font, files, and
// the hold that keeps a firmware write from being cut short.
//
// util/ reaches the platform only through these interfaces. os/ implements them (Win32, or Linux
// where some of them have no direct equivalent); tests install simulated ones. The program
// installs one UtilPlatform at start (install_util_platform), before the window is created.
// Any member may be null where the platform lacks it: no version source means no file has a
// version, no font source means no font name, no file system means every open fails, no write
// span hold means nothing holds off sleep or shut-down during a write.
//
// The window may replace a single member after the OS has installed its own, for example the
// font source with one that asks the GUI toolkit:
//     UtilPlatform platform = installed_util_platform();
//     platform.fonts = &toolkit_fonts;
//     install_util_platform(platform);
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvel {

/// The fixed part of a version resource, field for field as VS_FIXEDFILEINFO.
struct FixedFileInfo {
    std::uint32_t signature = 0;  ///< 0xFEEF04BD in a genuine resource
    std::uint32_t struct_version = 0;
    std::uint32_t file_version_ms = 0;  ///< major << 16 | minor
    std::uint32_t file_version_ls = 0;  ///< release << 16 | build
    std::uint32_t product_version_ms = 0;
    std::uint32_t product_version_ls = 0;
    std::uint32_t file_flags_mask = 0;
    std::uint32_t file_flags = 0;  ///< bit 0 = VS_FF_DEBUG
    std::uint32_t file_os = 0;
    std::uint32_t file_type = 0;
    std::uint32_t file_subtype = 0;
    std::uint32_t file_date_ms = 0;
    std::uint32_t file_date_ls = 0;
};
static_assert(sizeof(FixedFileInfo) == 52, "FixedFileInfo must keep the VS_FIXEDFILEINFO layout");

inline constexpr std::uint32_t FIXED_FILE_INFO_SIGNATURE = 0xFEEF04BDu;
inline constexpr std::uint32_t VS_FF_DEBUG = 0x1u;

/// Version resources of files (GetFileVersionInfoSizeA / GetFileVersionInfoA / VerQueryValueA).
class FileVersionSource {
public:
    virtual ~FileVersionSource() = default;
    /// Reads the fixed file information of the file's version resource; false when it has none.
    virtual bool fixed_file_info(const char* path, FixedFileInfo& info) = 0;
};

/// The desktop's font (the icon-title font from SystemParametersInfo on Windows).
class FontSource {
public:
    virtual ~FontSource() = default;
    /// Writes the font's name, zero-terminated, into name (capacity bytes); false when unknown.
    virtual bool icon_font_name(char* name, std::size_t capacity) = 0;
};

/// An open platform file (a C runtime descriptor or a Win32 handle); NO_OS_FILE when none.
using OsFile = std::intptr_t;
inline constexpr OsFile NO_OS_FILE = -1;

/// Origins of a seek, as for lseek / SetFilePointer.
inline constexpr int SEEK_FROM_START = 0;
inline constexpr int SEEK_FROM_CURRENT = 1;
inline constexpr int SEEK_FROM_END = 2;

/// Plain binary files.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    /// Creates the file, or empties an existing one, open for reading and writing and with read
    /// and write permission (_creat); NO_OS_FILE on failure.
    virtual OsFile create_file(const char* path) = 0;
    /// Opens an existing file. access: 0 read, 1 write, 2 read and write. sharing: what others
    /// may do meanwhile, 0x10 nothing, 0x20 read, 0x30 write, 0x40 both (0 as 0x40).
    /// NO_OS_FILE on failure, also for a directory or an access value of 3.
    virtual OsFile open_file(const char* path, int access, int sharing) = 0;
    /// Reads up to size bytes; the count read (0 at the end of the file) or -1 on failure.
    virtual std::int64_t read(OsFile file, void* buffer, std::size_t size) = 0;
    /// Writes up to size bytes; the count written or -1 on failure.
    virtual std::int64_t write(OsFile file, const void* buffer, std::size_t size) = 0;
    /// Moves the file position; the new position from the start, or -1 on failure.
    virtual std::int64_t seek(OsFile file, std::int64_t offset, int origin) = 0;
    /// Closes a file from create_file or open_file.
    virtual void close(OsFile file) = 0;
};

/// What keeps a firmware write from being cut short: the machine kept from sleeping, and
/// log-off and shut-down held off with a reason the system shows to the person.
class WriteSpanHold {
public:
    virtual ~WriteSpanHold() = default;
    /// Takes the hold; reason is UTF-8 in the run's language. False when the system would not
    /// give it (no power manager to ask): the write goes on all the same.
    virtual bool take(const char* reason) = 0;
    /// Lets the hold go; called once after each take.
    virtual void release() = 0;
};

/// The platform as the utilities see it.
struct UtilPlatform {
    FileVersionSource* versions = nullptr;
    FontSource* fonts = nullptr;
    FileSystem* files = nullptr;
    WriteSpanHold* write_span = nullptr;
};

/// Installs the platform for the rest of the run (or, in tests, until the next install).
void install_util_platform(const UtilPlatform& platform);
/// The installed platform; all members null before the first install.
const UtilPlatform& installed_util_platform();

}  // namespace korvel
