#include "lib_getfilever.h"

#include <cstdio>

#include "util_platform_seam.h"

namespace korvel {

int file_version(const char* path, std::uint32_t& major, std::uint32_t& minor,
                 std::uint32_t& release, std::uint32_t& build, std::uint8_t* debug) {
    FileVersionSource* versions = installed_util_platform().versions;
    if (versions == nullptr || path == nullptr) return 0;
    FixedFileInfo info;
    if (!versions->fixed_file_info(path, info)) return 0;
    major = info.file_version_ms >> 16;
    minor = info.file_version_ms & 0xFFFFu;
    release = info.file_version_ls >> 16;
    build = info.file_version_ls & 0xFFFFu;
    // The flag alone decides: a resource may set VS_FF_DEBUG without declaring it in its mask.
    if (debug != nullptr) *debug = (info.file_flags & VS_FF_DEBUG) != 0 ? 1 : 0;
    return 1;
}

int version_text(const char* path, char* text, std::size_t size, std::uint8_t* debug) {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t release = 0;
    std::uint32_t build = 0;
    const int result = file_version(path, major, minor, release, build, debug);
    if (text == nullptr || size == 0) return result;
    if (result == 1) {
        std::snprintf(text, size, "%u.%u.%u.%u", static_cast<unsigned>(major),
                      static_cast<unsigned>(minor), static_cast<unsigned>(release),
                      static_cast<unsigned>(build));
    } else {
        text[0] = '\0';
    }
    return result;
}

}  // namespace korvel
