#include "sim_script.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

#include "sim_json_input.h"

namespace korvel {

namespace {

const char* const STEP_NAMES[] = {"select_host", "select_target", "fae_gesture", "update",
                                  "close"};

class ScriptReader {
public:
    explicit ScriptReader(QDir folder) : folder_(std::move(folder)) {}

    std::optional<std::vector<ScriptStep>> read(const QJsonDocument& document) {
        if (!document.isArray()) {
            input_.fail({}, QStringLiteral("expected an array of steps"));
            return std::nullopt;
        }
        const QJsonArray list = document.array();
        if (list.size() > SCRIPT_MAX_STEPS) {
            input_.fail({}, QStringLiteral("%1 steps, at most %2")
                                .arg(list.size())
                                .arg(SCRIPT_MAX_STEPS));
            return std::nullopt;
        }
        std::vector<ScriptStep> steps;
        for (qsizetype i = 0; i < list.size(); ++i) {
            auto step = read_step(list.at(i), json_element(QString(), i));
            if (!step) return std::nullopt;
            steps.push_back(std::move(*step));
        }
        return steps;
    }

    const QString& error() const { return input_.error(); }

private:
    std::optional<ScriptStep> read_step(const QJsonValue& value, const QString& where) {
        const auto object = input_.object(value, where);
        if (!object) return std::nullopt;
        if (object->size() != 1) {
            input_.fail(where, QStringLiteral("a step is an object with exactly one key, one of: ") +
                                   step_names());
            return std::nullopt;
        }
        const QString name = object->begin().key();
        const QJsonValue argument = object->begin().value();
        const QString at = where + u'.' + name;
        ScriptStep step;
        if (name == QLatin1String("select_host") || name == QLatin1String("select_target")) {
            step.action = name == QLatin1String("select_host") ? ScriptAction::select_host
                                                               : ScriptAction::select_target;
            const auto index = input_.integer(argument, at, 0, SCRIPT_MAX_BUTTON_INDEX);
            if (!index) return std::nullopt;
            step.index = static_cast<int>(*index);
        } else if (name == QLatin1String("fae_gesture")) {
            step.action = ScriptAction::fae_gesture;
            if (!input_.is_true(argument, at)) return std::nullopt;
        } else if (name == QLatin1String("close")) {
            step.action = ScriptAction::close;
            if (!input_.is_true(argument, at)) return std::nullopt;
        } else if (name == QLatin1String("update")) {
            step.action = ScriptAction::update;
            if (!read_update(argument, at, step)) return std::nullopt;
        } else {
            input_.fail(where, QStringLiteral("unknown step \"%1\" (expected one of: %2)")
                                   .arg(name, step_names()));
            return std::nullopt;
        }
        return step;
    }

    bool read_update(const QJsonValue& value, const QString& where, ScriptStep& step) {
        const auto object = input_.object(value, where);
        if (!object || !input_.only_keys(*object, where, {"file", "confirm"}) ||
            !input_.has_key(*object, where, "file")) {
            return false;
        }
        const QJsonValue file = object->value(QLatin1String("file"));
        if (!file.isNull()) {
            const QString at = json_member(where, "file");
            const auto name = input_.text(file, at, SCRIPT_MAX_PATH_LENGTH);
            if (!name) return false;
            if (name->isEmpty() || name->contains(QChar(u'\0'))) {
                input_.fail(at, QStringLiteral("expected a file name, or null for a cancelled "
                                               "dialog"));
                return false;
            }
            step.file = folder_.absoluteFilePath(*name);
        }
        if (object->contains(QLatin1String("confirm"))) {
            const QString at = json_member(where, "confirm");
            const auto answer = input_.text(object->value(QLatin1String("confirm")), at, 8);
            if (!answer) return false;
            if (*answer != QLatin1String("yes") && *answer != QLatin1String("no")) {
                input_.fail(at, QStringLiteral("expected \"yes\" or \"no\""));
                return false;
            }
            step.confirm = *answer == QLatin1String("yes");
        }
        return true;
    }

    static QString step_names() {
        QString names;
        for (const char* step : STEP_NAMES) {
            if (!names.isEmpty()) names += QStringLiteral(", ");
            names += QLatin1String(step);
        }
        return names;
    }

    QDir folder_;
    JsonInput input_;
};

}  // namespace

std::optional<std::vector<ScriptStep>> parse_script(const QByteArray& bytes, const QString& folder,
                                                    QString& error) {
    QJsonDocument document;
    if (!parse_json(bytes, document, error)) return std::nullopt;
    ScriptReader reader{QDir(folder)};
    auto steps = reader.read(document);
    if (!steps) error = reader.error();
    return steps;
}

}  // namespace korvel
