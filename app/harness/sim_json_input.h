// Reading korvel-sim's input files (bus and script): their JSON, and checked values out of
// it. Every check names the place of the value ("adapters[0].devices[1].inquiry") and
// the problem, so a person can find and mend a bad file; the first problem found is kept.
// Texts are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim_json.h"

namespace korvel {

/// Largest input file korvel-sim reads.
inline constexpr std::size_t SIM_INPUT_FILE_LIMIT = 16 * 1024 * 1024;

/// Parses the bytes of an input file as a JSON document in which no object gives a key twice.
/// On failure returns false and sets error ("not valid JSON at line 3, column 5: ...",
/// "adapters[0]: key \"driver\" given twice (line 4, column 7)").
bool parse_input_json(std::string_view bytes, JsonValue& document, std::string& error);

/// Checked values out of a JSON document. Each getter returns nothing after recording the
/// problem; only the first problem is kept.
class JsonInput {
public:
    bool failed() const { return !error_.empty(); }
    /// "where: problem" of the first problem.
    const std::string& error() const { return error_; }
    void fail(const std::string& where, const std::string& problem);

    /// An integer (a JSON number without fraction) from minimum to maximum.
    std::optional<std::int64_t> integer(const JsonValue& value, const std::string& where,
                                        std::int64_t minimum, std::int64_t maximum);
    /// Bytes written as hex digits, two per byte (either case, nothing else), at least
    /// min_bytes and at most max_bytes of them.
    std::optional<std::vector<std::uint8_t>> hex(const JsonValue& value, const std::string& where,
                                                 std::size_t min_bytes, std::size_t max_bytes);
    /// A string of at most max_length characters.
    std::optional<std::string> text(const JsonValue& value, const std::string& where,
                                    std::size_t max_length);
    /// Exactly true (a switch that is only ever turned on).
    bool is_true(const JsonValue& value, const std::string& where);
    /// An object, or nothing.
    const JsonValue::Object* object(const JsonValue& value, const std::string& where);
    /// Whether object has no keys but these (an unknown key is a problem: most often a typo).
    bool only_keys(const JsonValue::Object& object, const std::string& where,
                   std::initializer_list<const char*> keys);
    /// Whether object has key (a missing one is a problem).
    bool has_key(const JsonValue::Object& object, const std::string& where, const char* key);

private:
    std::string error_;
};

/// The member key of object, or nothing.
const JsonValue* json_find(const JsonValue::Object& object, const char* key);
/// where + "." + key, or key alone at the top.
std::string json_member(const std::string& where, std::string_view key);
/// where + "[index]".
std::string json_element(const std::string& where, std::size_t index);

}  // namespace korvel
