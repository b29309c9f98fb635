#include "win32_text.h"

// Before <windows.h>, whose VS_FF_DEBUG macro would spoil the seam's constant of that name.
#include "windows_util_platform.h"

#include <windows.h>

#include <climits>
#include <cstring>

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

}  // namespace korvel
