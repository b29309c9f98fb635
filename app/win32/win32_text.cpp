#include "win32_text.h"

// Before <windows.h>, whose VS_FF_DEBUG macro would spoil the seam's constant of that name.
#include "windows_util_platform.h"

#include <windows.h>
#include <shellapi.h>

#include <climits>
#include <cstring>
#include <memory>

namespace korvel {

const wchar_t* wide_text(const char* text, wchar_t* wide, std::size_t capacity) {
    if (wide == nullptr || capacity == 0) return wide;
    if (text == nullptr || utf8_to_wide(text, wide, capacity)) {
        if (text == nullptr) wide[0] = L'\0';
        return wide;
    }
    // Too long or not UTF-8: the longest beginning that fits, cut before a continuation byte.
    const int room = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity) - 1;
    std::size_t bytes = std::strlen(text);
    if (bytes > INT_MAX) bytes = INT_MAX;
    int written = 0;
    while (bytes > 0) {
        written = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(bytes), wide, room);
        if (written > 0) break;
        do {
            --bytes;
        } while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0u) == 0x80u);
    }
    wide[written > 0 ? written : 0] = L'\0';
    return wide;
}

bool utf8_text(const wchar_t* wide, char* text, std::size_t capacity) {
    if (text == nullptr || capacity == 0 || capacity > INT_MAX) return false;
    text[0] = '\0';
    if (wide == nullptr) return false;
    return WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, static_cast<int>(capacity), nullptr,
                               nullptr) > 0;
}

namespace {

std::string utf8_of(const wchar_t* wide) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
    text.resize(text.size() - 1);
    return text;
}

}  // namespace

std::vector<std::string> utf8_arguments() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return {};
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) arguments.push_back(utf8_of(wide[i]));
    LocalFree(wide);
    return arguments;
}

std::string own_program_path() {
    // XP fills a buffer that is too small without the terminating zero: a full one is taken
    // as a path cut short.
    constexpr DWORD capacity = MAX_PATH * 4;
    const auto path = std::make_unique<wchar_t[]>(capacity);
    const DWORD length = GetModuleFileNameW(nullptr, path.get(), capacity);
    if (length == 0 || length >= capacity) return {};
    path[length] = L'\0';
    return utf8_of(path.get());
}

}  // namespace korvel
