#include "lib_font.h"

#include <cstring>

#include "text_copy.h"
#include "util_platform_seam.h"

namespace korvel {

namespace {

// Empty until the platform has named a font.
char cached_font_name[FONT_NAME_SIZE] = {};

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
    copy_utf8_text(text, size, cached_font_name);
    return text;
}

void forget_default_font_name() { cached_font_name[0] = '\0'; }

}  // namespace korvel
