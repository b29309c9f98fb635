#include "sim_json_input.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace korvel {

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string place(const std::string& where) { return where.empty() ? "top level" : where; }

// Line and column (both from 1) of a byte offset, for a syntax error a person can find.
std::string position_of(std::string_view bytes, std::size_t offset) {
    std::size_t line = 1;
    std::size_t column = 1;
    const std::size_t end = std::min(offset, bytes.size());
    for (std::size_t i = 0; i < end; ++i) {
        if (bytes[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Characters (code points) of UTF-8 text the JSON reader has checked.
std::size_t characters(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
    }));
}

// A whole number as a person writes it (no exponent, no fraction).
std::string number_text(double number) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", number);
    return text;
}

}  // namespace

bool parse_input_json(std::string_view bytes, JsonValue& document, std::string& error) {
    JsonSyntaxError syntax;
    if (parse_json(bytes, document, syntax)) return true;
    if (syntax.key_twice) {
        error = place(syntax.where) + ": " + syntax.reason + " (" +
                position_of(bytes, syntax.offset) + ")";
    } else {
        error = "not valid JSON at " + position_of(bytes, syntax.offset) + ": " + syntax.reason;
    }
    return false;
}

void JsonInput::fail(const std::string& where, const std::string& problem) {
    if (error_.empty()) error_ = place(where) + ": " + problem;
}

std::optional<std::int64_t> JsonInput::integer(const JsonValue& value, const std::string& where,
                                               std::int64_t minimum, std::int64_t maximum) {
    const std::string range = std::to_string(minimum) + " to " + std::to_string(maximum);
    if (!value.is_number()) {
        fail(where, "expected an integer from " + range);
        return std::nullopt;
    }
    const double number = value.number();
    if (!std::isfinite(number) || std::floor(number) != number) {
        char text[64];
        std::snprintf(text, sizeof text, "%g", number);
        fail(where, std::string(text) + " is not an integer");
        return std::nullopt;
    }
    if (number < static_cast<double>(minimum) || number > static_cast<double>(maximum)) {
        fail(where, number_text(number) + " is out of range, expected " + range);
        return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
}

std::optional<std::vector<std::uint8_t>> JsonInput::hex(const JsonValue& value,
                                                        const std::string& where,
                                                        std::size_t min_bytes,
                                                        std::size_t max_bytes) {
    const std::string bounds =
        min_bytes == max_bytes
            ? "exactly " + std::to_string(min_bytes) + " bytes"
            : std::to_string(min_bytes) + " to " + std::to_string(max_bytes) + " bytes";
    if (!value.is_string()) {
        fail(where, "expected a string of hex digits, " + bounds);
        return std::nullopt;
    }
    const std::string& digits = value.string();
    const std::size_t length = digits.size();
    if (length % 2 != 0) {
        fail(where, "odd number of hex digits (" + std::to_string(length) + ")");
        return std::nullopt;
    }
    if (length / 2 < min_bytes || length / 2 > max_bytes) {
        fail(where, std::to_string(length / 2) + " bytes, expected " + bounds);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(length / 2);
    for (std::size_t i = 0; i < length; i += 2) {
        const int high = hex_digit(digits[i]);
        const int low = hex_digit(digits[i + 1]);
        if (high < 0 || low < 0) {
            const std::size_t bad = high < 0 ? i : i + 1;
            // The whole UTF-8 sequence of the character, for the message.
            std::size_t end = bad + 1;
            while (end < length && (static_cast<unsigned char>(digits[end]) & 0xC0u) == 0x80u) {
                ++end;
            }
            fail(where, "\"" + digits.substr(bad, end - bad) + "\" at character " +
                            std::to_string(characters(digits.substr(0, bad)) + 1) +
                            " is not a hex digit");
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return bytes;
}

std::optional<std::string> JsonInput::text(const JsonValue& value, const std::string& where,
                                           std::size_t max_length) {
    if (!value.is_string()) {
        fail(where, "expected a string");
        return std::nullopt;
    }
    if (characters(value.string()) > max_length) {
        fail(where, "longer than " + std::to_string(max_length) + " characters");
        return std::nullopt;
    }
    return value.string();
}

bool JsonInput::is_true(const JsonValue& value, const std::string& where) {
    if (!value.is_bool() || !value.boolean()) {
        fail(where, "expected true");
        return false;
    }
    return true;
}

const JsonValue::Object* JsonInput::object(const JsonValue& value, const std::string& where) {
    if (!value.is_object()) {
        fail(where, "expected an object");
        return nullptr;
    }
    return &value.object();
}

bool JsonInput::only_keys(const JsonValue::Object& object, const std::string& where,
                          std::initializer_list<const char*> keys) {
    for (const auto& member : object) {
        const bool known = std::any_of(keys.begin(), keys.end(),
                                       [&](const char* key) { return member.first == key; });
        if (!known) {
            std::string expected;
            for (const char* key : keys) {
                if (!expected.empty()) expected += ", ";
                expected += key;
            }
            fail(where, "unknown key \"" + member.first + "\" (expected: " + expected + ")");
            return false;
        }
    }
    return true;
}

bool JsonInput::has_key(const JsonValue::Object& object, const std::string& where,
                        const char* key) {
    if (object.contains(key)) return true;
    fail(where, "missing \"" + std::string(key) + "\"");
    return false;
}

const JsonValue* json_find(const JsonValue::Object& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &found->second;
}

std::string json_member(const std::string& where, std::string_view key) {
    return where.empty() ? std::string(key) : where + "." + std::string(key);
}

std::string json_element(const std::string& where, std::size_t index) {
    return where + "[" + std::to_string(index) + "]";
}

}  // namespace korvel
