#include "json_text.h"

namespace korvel {

namespace {

const char HEX_DIGITS[] = "0123456789abcdef";

}  // namespace

std::size_t utf8_character_length(std::string_view text) {
    if (text.empty()) return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0u) != 0x80u) return 0;
        code = code << 6 | (next & 0x3Fu);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

std::string json_string(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8_character_length(text.substr(i));
        if (length == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD for a byte that starts no UTF-8 character
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        switch (byte) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                out += "\\u00";
                out += HEX_DIGITS[byte >> 4];
                out += HEX_DIGITS[byte & 0x0F];
            } else {
                out += static_cast<char>(byte);
            }
        }
        ++i;
    }
    out += '"';
    return out;
}

std::string hex_text(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        out += HEX_DIGITS[byte >> 4];
        out += HEX_DIGITS[byte & 0x0F];
    }
    return out;
}

void JsonObjectText::key(const char* name) {
    if (!members_.empty()) members_ += ',';
    members_ += json_string(name);
    members_ += ':';
}

JsonObjectText& JsonObjectText::text(const char* name, std::string_view value) {
    key(name);
    members_ += json_string(value);
    return *this;
}

JsonObjectText& JsonObjectText::number(const char* name, std::int64_t value) {
    key(name);
    members_ += std::to_string(value);
    return *this;
}

JsonObjectText& JsonObjectText::boolean(const char* name, bool value) {
    key(name);
    members_ += value ? "true" : "false";
    return *this;
}

JsonObjectText& JsonObjectText::raw(const char* name, std::string_view json) {
    key(name);
    members_ += json;
    return *this;
}

std::string JsonObjectText::json() const { return '{' + members_ + '}'; }

std::string json_array(const std::vector<std::string>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ',';
        out += values[i];
    }
    out += ']';
    return out;
}

}  // namespace korvel
