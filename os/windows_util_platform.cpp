#include "windows_util_platform.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <memory>
#include <new>

namespace korvel {

namespace {

// Room for a long path (\\?\ form) and its terminating zero.
constexpr std::size_t WIDE_PATH_CAPACITY = 32768;

// A path converted for the wide-character functions, on the heap (64 KiB is too much for the
// stack of a window procedure); empty when the conversion failed.
class WidePath {
public:
    explicit WidePath(const char* path) {
        if (path == nullptr) return;
        text_.reset(new (std::nothrow) wchar_t[WIDE_PATH_CAPACITY]);
        if (text_ != nullptr && !utf8_to_wide(path, text_.get(), WIDE_PATH_CAPACITY)) {
            text_.reset();
        }
    }
    bool valid() const { return text_ != nullptr; }
    const wchar_t* get() const { return text_.get(); }

private:
    std::unique_ptr<wchar_t[]> text_;
};

HANDLE as_handle(OsFile file) { return reinterpret_cast<HANDLE>(file); }

OsFile from_handle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? NO_OS_FILE : reinterpret_cast<OsFile>(handle);
}

// Keeps an opened handle only when it is a file on a disk: a pipe, a console, a serial port or
// any other device (whose reads may block for ever) is closed and refused.
OsFile regular_file_only(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) return NO_OS_FILE;
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        CloseHandle(handle);
        return NO_OS_FILE;
    }
    return from_handle(handle);
}

// --- Version resources -------------------------------------------------------------------------

static_assert(sizeof(VS_FIXEDFILEINFO) == sizeof(FixedFileInfo));

class WindowsFileVersions final : public FileVersionSource {
public:
    bool fixed_file_info(const char* path, FixedFileInfo& info) override {
        const WidePath name(path);
        if (!name.valid()) return false;
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(name.get(), &ignored);
        if (size == 0) return false;
        // One byte more than asked for, as some versions of the function write past the size
        // they report.
        const std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[size + 1]);
        if (data == nullptr) return false;
        if (!GetFileVersionInfoW(name.get(), 0, size, data.get())) return false;
        void* fixed = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data.get(), L"\\", &fixed, &length) || fixed == nullptr ||
            length < sizeof(VS_FIXEDFILEINFO)) {
            return false;
        }
        std::memcpy(&info, fixed, sizeof info);
        return true;
    }
};

// --- The icon title font -------------------------------------------------------------------------

class WindowsFonts final : public FontSource {
public:
    bool icon_font_name(char* name, std::size_t capacity) override {
        if (name == nullptr || capacity == 0 || capacity > INT_MAX) return false;
        LOGFONTW font{};
        if (!SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof font, &font, 0)) return false;
        // The face name in UTF-8, as the window expects every text.
        const int written = WideCharToMultiByte(CP_UTF8, 0, font.lfFaceName, -1, name,
                                                static_cast<int>(capacity), nullptr, nullptr);
        if (written <= 0) {
            name[0] = '\0';
            return false;
        }
        return name[0] != '\0';
    }
};

// --- Files -------------------------------------------------------------------------------------

class WindowsFiles final : public FileSystem {
public:
    OsFile create_file(const char* path) override {
        const WidePath name(path);
        if (!name.valid()) return NO_OS_FILE;
        return regular_file_only(CreateFileW(name.get(), GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    OsFile open_file(const char* path, int access, int sharing) override {
        DWORD desired = 0;
        switch (access) {
            case 0: desired = GENERIC_READ; break;
            case 1: desired = GENERIC_WRITE; break;
            case 2: desired = GENERIC_READ | GENERIC_WRITE; break;
            default: return NO_OS_FILE;
        }
        DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;  // 0x40, and 0 taken as 0x40
        switch (sharing) {
            case 0x10: share = 0; break;
            case 0x20: share = FILE_SHARE_READ; break;
            case 0x30: share = FILE_SHARE_WRITE; break;
            default: break;
        }
        const WidePath name(path);
        if (!name.valid()) return NO_OS_FILE;
        // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open, as a file must not.
        return regular_file_only(CreateFileW(name.get(), desired, share, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    std::int64_t read(OsFile file, void* buffer, std::size_t size) override {
        DWORD count = 0;
        if (!ReadFile(as_handle(file), buffer, chunk(size), &count, nullptr)) return -1;
        return count;
    }

    std::int64_t write(OsFile file, const void* buffer, std::size_t size) override {
        DWORD count = 0;
        if (!WriteFile(as_handle(file), buffer, chunk(size), &count, nullptr)) return -1;
        return count;
    }

    std::int64_t seek(OsFile file, std::int64_t offset, int origin) override {
        DWORD method = FILE_BEGIN;
        if (origin == SEEK_FROM_CURRENT) method = FILE_CURRENT;
        if (origin == SEEK_FROM_END) method = FILE_END;
        LARGE_INTEGER distance{};
        distance.QuadPart = offset;
        LARGE_INTEGER position{};
        if (!SetFilePointerEx(as_handle(file), distance, &position, method)) return -1;
        return position.QuadPart;
    }

    void close(OsFile file) override {
        if (file != NO_OS_FILE) CloseHandle(as_handle(file));
    }

private:
    // One call moves at most what a DWORD counts; the callers loop for the rest.
    static DWORD chunk(std::size_t size) {
        return size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    }
};

WindowsFileVersions file_versions;
WindowsFonts fonts;
WindowsFiles files;

}  // namespace

bool utf8_to_wide(const char* text, wchar_t* wide, std::size_t capacity) {
    if (text == nullptr || wide == nullptr || capacity == 0 || capacity > INT_MAX) return false;
    if (text[0] == '\0') {
        wide[0] = L'\0';
        return true;
    }
    const int written = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide,
                                            static_cast<int>(capacity));
    return written > 0;
}

FileVersionSource& windows_file_versions() { return file_versions; }

FontSource& windows_fonts() { return fonts; }

FileSystem& windows_files() { return files; }

void install_os_util_platform() {
    UtilPlatform platform;
    platform.versions = &file_versions;
    platform.fonts = &fonts;
    platform.files = &files;
    install_util_platform(platform);
}

}  // namespace korvel
