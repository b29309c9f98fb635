#include "text_copy.h"

#include <cstring>

namespace korvel {

void copy_utf8_text(char* target, std::size_t size, const char* source) {
    std::size_t length = std::strlen(source);
    if (length >= size) {
        length = size - 1;
        // Step back over continuation bytes to the start of the character that did not fit.
        while (length > 0 && (static_cast<unsigned char>(source[length]) & 0xC0u) == 0x80u) {
            --length;
        }
    }
    std::memcpy(target, source, length);
    target[length] = '\0';
}

}  // namespace korvel
