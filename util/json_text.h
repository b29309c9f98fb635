// JSON written as text: strings with their escapes, objects built key by key and arrays of
// encoded values. Used for korvel-sim's journal and the terminal's machine-readable output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

/// Bytes of the well-formed UTF-8 character text starts with (1 for ASCII): no overlong form,
/// no surrogate, nothing above U+10FFFF; 0 when it starts with none (or is empty).
std::size_t utf8_character_length(std::string_view text);

/// A JSON value as text: a string with the escapes JSON needs. Bytes that are not UTF-8 are
/// written as U+FFFD, so the journal is always well-formed UTF-8.
std::string json_string(std::string_view text);
/// Bytes as lower-case hex digits, two per byte.
std::string hex_text(std::span<const std::uint8_t> bytes);

/// A JSON object built key by key and written in that order.
class JsonObjectText {
public:
    JsonObjectText& text(const char* key, std::string_view value);
    JsonObjectText& number(const char* key, std::int64_t value);
    JsonObjectText& boolean(const char* key, bool value);
    /// A value that is JSON text already (an object or an array).
    JsonObjectText& raw(const char* key, std::string_view json);
    /// "{...}".
    std::string json() const;

private:
    void key(const char* name);
    std::string members_;
};

/// A JSON array of already encoded values.
std::string json_array(const std::vector<std::string>& values);

}  // namespace korvel
