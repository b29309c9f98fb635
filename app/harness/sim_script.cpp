#include "sim_script.h"

#include "sim_input_file.h"
#include "sim_json_input.h"

namespace korvel {

namespace {

const char* const STEP_NAMES[] = {"select_host", "select_target", "fae_gesture", "update",
                                  "close"};

std::string step_names() {
    std::string names;
    for (const char* step : STEP_NAMES) {
        if (!names.empty()) names += ", ";
        names += step;
    }
    return names;
}

class ScriptReader {
public:
    explicit ScriptReader(std::string folder) : folder_(std::move(folder)) {}

    std::optional<std::vector<ScriptStep>> read(const JsonValue& document) {
        if (!document.is_array()) {
            input_.fail({}, "expected an array of steps");
            return std::nullopt;
        }
        const JsonValue::Array& list = document.array();
        if (list.size() > SCRIPT_MAX_STEPS) {
            input_.fail({}, std::to_string(list.size()) + " steps, at most " +
                                std::to_string(SCRIPT_MAX_STEPS));
            return std::nullopt;
        }
        std::vector<ScriptStep> steps;
        for (std::size_t i = 0; i < list.size(); ++i) {
            auto step = read_step(list[i], json_element({}, i));
            if (!step) return std::nullopt;
            steps.push_back(std::move(*step));
        }
        return steps;
    }

    const std::string& error() const { return input_.error(); }

private:
    std::optional<ScriptStep> read_step(const JsonValue& value, const std::string& where) {
        const JsonValue::Object* object = input_.object(value, where);
        if (object == nullptr) return std::nullopt;
        if (object->size() != 1) {
            input_.fail(where, "a step is an object with exactly one key, one of: " +
                                   step_names());
            return std::nullopt;
        }
        const std::string& name = object->begin()->first;
        const JsonValue& argument = object->begin()->second;
        const std::string at = where + "." + name;
        ScriptStep step;
        if (name == "select_host" || name == "select_target") {
            step.action =
                name == "select_host" ? ScriptAction::select_host : ScriptAction::select_target;
            const auto index = input_.integer(argument, at, 0, SCRIPT_MAX_BUTTON_INDEX);
            if (!index) return std::nullopt;
            step.index = static_cast<int>(*index);
        } else if (name == "fae_gesture") {
            step.action = ScriptAction::fae_gesture;
            if (!input_.is_true(argument, at)) return std::nullopt;
        } else if (name == "close") {
            step.action = ScriptAction::close;
            if (!input_.is_true(argument, at)) return std::nullopt;
        } else if (name == "update") {
            step.action = ScriptAction::update;
            if (!read_update(argument, at, step)) return std::nullopt;
        } else {
            input_.fail(where, "unknown step \"" + name + "\" (expected one of: " +
                                   step_names() + ")");
            return std::nullopt;
        }
        return step;
    }

    bool read_update(const JsonValue& value, const std::string& where, ScriptStep& step) {
        const JsonValue::Object* object = input_.object(value, where);
        if (object == nullptr || !input_.only_keys(*object, where, {"file", "confirm"}) ||
            !input_.has_key(*object, where, "file")) {
            return false;
        }
        const JsonValue& file = *json_find(*object, "file");
        if (!file.is_null()) {
            const std::string at = json_member(where, "file");
            const auto name = input_.text(file, at, SCRIPT_MAX_PATH_LENGTH);
            if (!name) return false;
            if (name->empty() || name->find('\0') != std::string::npos) {
                input_.fail(at, "expected a file name, or null for a cancelled dialog");
                return false;
            }
            step.file = resolve_path(folder_, *name);
        }
        if (const JsonValue* confirm = json_find(*object, "confirm")) {
            const std::string at = json_member(where, "confirm");
            const auto answer = input_.text(*confirm, at, 8);
            if (!answer) return false;
            if (*answer != "yes" && *answer != "no") {
                input_.fail(at, "expected \"yes\" or \"no\"");
                return false;
            }
            step.confirm = *answer == "yes";
        }
        return true;
    }

    std::string folder_;
    JsonInput input_;
};

}  // namespace

std::optional<std::vector<ScriptStep>> parse_script(std::string_view bytes,
                                                    const std::string& folder,
                                                    std::string& error) {
    JsonValue document;
    if (!parse_input_json(bytes, document, error)) return std::nullopt;
    ScriptReader reader(folder);
    auto steps = reader.read(document);
    if (!steps) error = reader.error();
    return steps;
}

}  // namespace korvel
