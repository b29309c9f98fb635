#include "lib_font.h"

#include <cstring>

#include "util_platform_seam.h"

namespace korvel {

namespace {

// Empty until the platform has named a font.
char cached_font_name[FONT_NAME_SIZE] = {};

// Copies as much of source as fits into size bytes with the terminating zero, cutting only
// between UTF-8 characters so a shortened name never ends in half a character.
void copy_text(char* target, std::size_t size, const char* source) {
    std::size_t length = std::strlen(source);
    if (length >= size) {
        length = size - 1;
        while (length > 0 && (static_cast<unsigned char>(source[length]) & 0xC0u) == 0x80u) {
            --length;
        }
    }
    std::memcpy(target, source, length);
    target[length] = '\0';
}

}  // namespace

const char* default_font_name(char* text, std::size_t size) {
    if (cached_font_name[0] == '\0') {
        FontSource* fonts = installed_util_platform().fonts;
        if (fonts != nullptr && !fonts->icon_font_name(cached_font_name, sizeof cached_font_name)) {
            cached_font_name[0] = '\0';
        }
        // Whatever the source wrote, the cache stays a terminated text.
        cached_font_name[sizeof cached_font_name - 1] = '\0';
    }
    if (text == nullptr || size == 0) return text;
    copy_text(text, size, cached_font_name);
    return text;
}

void forget_default_font_name() { cached_font_name[0] = '\0'; }

}  // namespace korvel
