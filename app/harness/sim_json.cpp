#include "sim_json.h"

#include <charconv>
#include <cmath>
#include <string>

namespace korvel {

namespace {

const JsonValue::Array EMPTY_ARRAY;
const JsonValue::Object EMPTY_OBJECT;

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool document(JsonValue& value, JsonSyntaxError& error) {
        skip_space();
        if (!parse_value(value, 0)) {
            error = {at_, reason_, failed_where_, !duplicate_.empty()};
            return false;
        }
        skip_space();
        if (at_ != text_.size()) {
            error = {at_, "garbage after the value", {}, false};
            return false;
        }
        return true;
    }

private:
    bool fail(const char* reason) {
        reason_ = reason;
        return false;
    }
    bool done() const { return at_ >= text_.size(); }
    char peek() const { return done() ? '\0' : text_[at_]; }

    void skip_space() {
        while (!done() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
            ++at_;
        }
    }

    bool literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return fail("unknown word");
        at_ += word.size();
        return true;
    }

    bool parse_value(JsonValue& value, int depth) {
        switch (peek()) {
            case '{': return parse_object(value, depth + 1);
            case '[': return parse_array(value, depth + 1);
            case '"': {
                std::string text;
                if (!parse_string(text)) return false;
                value = JsonValue::make_string(std::move(text));
                return true;
            }
            case 't':
                value = JsonValue::make_boolean(true);
                return literal("true");
            case 'f':
                value = JsonValue::make_boolean(false);
                return literal("false");
            case 'n':
                value = JsonValue();
                return literal("null");
            case '\0':
                if (done()) return fail("the text ends where a value should be");
                return fail("a value was expected");
            default: return parse_number(value);
        }
    }

    bool parse_object(JsonValue& value, int depth) {
        if (depth > JSON_MAX_DEPTH) return fail("nested too deep");
        ++at_;  // '{'
        JsonValue::Object members;
        skip_space();
        if (peek() == '}') {
            ++at_;
            value = JsonValue::make_object(std::move(members));
            return true;
        }
        for (;;) {
            skip_space();
            if (peek() != '"') return fail("a key in quotes was expected");
            const std::size_t key_at = at_;
            std::string key;
            if (!parse_string(key)) return false;
            skip_space();
            if (peek() != ':') return fail("':' was expected after the key");
            ++at_;
            skip_space();
            JsonValue member;
            const std::size_t where_length = where_.size();
            if (!where_.empty()) where_ += '.';
            where_ += key;
            if (!parse_value(member, depth)) return false;
            where_.resize(where_length);
            const auto [place, added] = members.emplace(std::move(key), std::move(member));
            if (!added) {
                at_ = key_at;
                duplicate_ = "key \"" + place->first + "\" given twice";
                failed_where_ = where_;
                return fail(duplicate_.c_str());
            }
            skip_space();
            if (peek() == ',') {
                ++at_;
                continue;
            }
            if (peek() == '}') {
                ++at_;
                value = JsonValue::make_object(std::move(members));
                return true;
            }
            return fail("',' or '}' was expected");
        }
    }

    bool parse_array(JsonValue& value, int depth) {
        if (depth > JSON_MAX_DEPTH) return fail("nested too deep");
        ++at_;  // '['
        JsonValue::Array elements;
        skip_space();
        if (peek() == ']') {
            ++at_;
            value = JsonValue::make_array(std::move(elements));
            return true;
        }
        for (;;) {
            skip_space();
            JsonValue element;
            const std::size_t where_length = where_.size();
            where_ += '[' + std::to_string(elements.size()) + ']';
            if (!parse_value(element, depth)) return false;
            where_.resize(where_length);
            elements.push_back(std::move(element));
            skip_space();
            if (peek() == ',') {
                ++at_;
                continue;
            }
            if (peek() == ']') {
                ++at_;
                value = JsonValue::make_array(std::move(elements));
                return true;
            }
            return fail("',' or ']' was expected");
        }
    }

    bool parse_number(JsonValue& value) {
        // The grammar first: from_chars alone would take forms JSON does not have.
        const std::size_t start = at_;
        if (peek() == '-') ++at_;
        if (peek() == '0') {
            ++at_;
        } else if (peek() >= '1' && peek() <= '9') {
            while (peek() >= '0' && peek() <= '9') ++at_;
        } else {
            return fail("a value was expected");
        }
        if (peek() == '.') {
            ++at_;
            if (!(peek() >= '0' && peek() <= '9')) return fail("a digit was expected");
            while (peek() >= '0' && peek() <= '9') ++at_;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++at_;
            if (peek() == '+' || peek() == '-') ++at_;
            if (!(peek() >= '0' && peek() <= '9')) return fail("a digit was expected");
            while (peek() >= '0' && peek() <= '9') ++at_;
        }
        double number = 0.0;
        const char* first = text_.data() + start;
        const auto result = std::from_chars(first, text_.data() + at_, number);
        if (result.ec != std::errc() || !std::isfinite(number)) {
            at_ = start;
            return fail("a number out of range");
        }
        value = JsonValue::make_number(number);
        return true;
    }

    bool hex4(std::uint32_t& code) {
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = peek();
            std::uint32_t digit = 0;
            if (c >= '0' && c <= '9') {
                digit = static_cast<std::uint32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                digit = static_cast<std::uint32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                digit = static_cast<std::uint32_t>(c - 'A' + 10);
            } else {
                return fail("four hex digits were expected after \\u");
            }
            code = code << 4 | digit;
            ++at_;
        }
        return true;
    }

    static void append_utf8(std::string& out, std::uint32_t code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool escape(std::string& out) {
        ++at_;  // '\'
        const char c = peek();
        ++at_;
        switch (c) {
            case '"': out += '"'; return true;
            case '\\': out += '\\'; return true;
            case '/': out += '/'; return true;
            case 'b': out += '\b'; return true;
            case 'f': out += '\f'; return true;
            case 'n': out += '\n'; return true;
            case 'r': out += '\r'; return true;
            case 't': out += '\t'; return true;
            case 'u': break;
            default:
                --at_;
                return fail("an unknown escape");
        }
        std::uint32_t code = 0;
        if (!hex4(code)) return false;
        if (code >= 0xDC00 && code <= 0xDFFF) return fail("a lone low surrogate");
        if (code >= 0xD800 && code <= 0xDBFF) {
            std::uint32_t low = 0;
            if (text_.substr(at_, 2) != "\\u") return fail("a high surrogate without its pair");
            at_ += 2;
            if (!hex4(low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return fail("a high surrogate without its pair");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        append_utf8(out, code);
        return true;
    }

    // One UTF-8 character, checked.
    bool utf8_sequence(std::string& out) {
        const std::size_t length = utf8_character_length(text_.substr(at_));
        if (length < 2) return fail("not UTF-8");
        out.append(text_.substr(at_, length));
        at_ += length;
        return true;
    }

    bool parse_string(std::string& out) {
        ++at_;  // '"'
        for (;;) {
            if (done()) return fail("a string does not end");
            const auto c = static_cast<unsigned char>(peek());
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c == '\\') {
                if (!escape(out)) return false;
            } else if (c < 0x20) {
                return fail("a control character inside a string");
            } else if (c < 0x80) {
                out += static_cast<char>(c);
                ++at_;
            } else if (!utf8_sequence(out)) {
                return false;
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    const char* reason_ = "";
    /// The place of the value being read ("adapters[0].driver"), and of a duplicate key.
    std::string where_;
    std::string failed_where_;
    std::string duplicate_;
};

}  // namespace

JsonValue JsonValue::make_boolean(bool value) {
    JsonValue made;
    made.kind_ = Kind::boolean;
    made.boolean_ = value;
    return made;
}

JsonValue JsonValue::make_number(double value) {
    JsonValue made;
    made.kind_ = Kind::number;
    made.number_ = value;
    return made;
}

JsonValue JsonValue::make_string(std::string value) {
    JsonValue made;
    made.kind_ = Kind::string;
    made.string_ = std::move(value);
    return made;
}

JsonValue JsonValue::make_array(Array value) {
    JsonValue made;
    made.kind_ = Kind::array;
    made.array_ = std::make_shared<const Array>(std::move(value));
    return made;
}

JsonValue JsonValue::make_object(Object value) {
    JsonValue made;
    made.kind_ = Kind::object;
    made.object_ = std::make_shared<const Object>(std::move(value));
    return made;
}

const JsonValue::Array& JsonValue::array() const { return array_ ? *array_ : EMPTY_ARRAY; }

const JsonValue::Object& JsonValue::object() const { return object_ ? *object_ : EMPTY_OBJECT; }


bool parse_json(std::string_view text, JsonValue& value, JsonSyntaxError& error) {
    return Parser(text).document(value, error);
}

}  // namespace korvel
