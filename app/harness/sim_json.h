// A small JSON reader for korvel-sim's bus and script files, the same on every platform and
// with no toolkit: the harness's input must mean the same whichever face runs it.
//
// It reads UTF-8 text by RFC 8259, with the limits a hostile file needs: nesting at most
// JSON_MAX_DEPTH deep, and a key given twice in one object refused (which of the two would
// count is otherwise anybody's guess).
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "json_text.h"

namespace korvel {

inline constexpr int JSON_MAX_DEPTH = 256;

class JsonValue {
public:
    enum class Kind { null, boolean, number, string, array, object };
    using Array = std::vector<JsonValue>;
    /// Members by key, in the keys' byte order.
    using Object = std::map<std::string, JsonValue, std::less<>>;

    JsonValue() = default;
    static JsonValue make_boolean(bool value);
    static JsonValue make_number(double value);
    static JsonValue make_string(std::string value);
    static JsonValue make_array(Array value);
    static JsonValue make_object(Object value);

    Kind kind() const { return kind_; }
    bool is_null() const { return kind_ == Kind::null; }
    bool is_bool() const { return kind_ == Kind::boolean; }
    bool is_number() const { return kind_ == Kind::number; }
    bool is_string() const { return kind_ == Kind::string; }
    bool is_array() const { return kind_ == Kind::array; }
    bool is_object() const { return kind_ == Kind::object; }

    /// The value as its kind; the kind's empty value for any other kind.
    bool boolean() const { return boolean_; }
    double number() const { return number_; }
    const std::string& string() const { return string_; }
    const Array& array() const;
    const Object& object() const;

private:
    Kind kind_ = Kind::null;
    bool boolean_ = false;
    double number_ = 0.0;
    std::string string_;
    std::shared_ptr<const Array> array_;
    std::shared_ptr<const Object> object_;
};

/// Where and why a text is not JSON: a byte offset and a short reason; for a key given twice,
/// also the place of its object ("adapters[0]", empty at the top).
struct JsonSyntaxError {
    std::size_t offset = 0;
    std::string reason;
    std::string where;
    bool key_twice = false;
};


/// Reads text as one JSON value (surrounding white space allowed, nothing else). Returns
/// false and fills error when it is not valid JSON or gives a key twice in one object.
bool parse_json(std::string_view text, JsonValue& value, JsonSyntaxError& error);

}  // namespace korvel
