#include "sim_json_input.h"

#include <QJsonParseError>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace korvel {

namespace {

int hex_digit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
}

QString place(const QString& where) { return where.isEmpty() ? QStringLiteral("top level") : where; }

// Line and column (both from 1) of a byte offset, for a syntax error a person can find.
QString position_of(const QByteArray& bytes, qsizetype offset) {
    int line = 1;
    int column = 1;
    const qsizetype end = std::min(offset, bytes.size());
    for (qsizetype i = 0; i < end; ++i) {
        if (bytes[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

// JSON text that QJsonDocument has accepted, walked once more for the one thing it lets pass
// without a word: a key given twice in one object, of which it keeps a single value. Only the
// nesting and the keys are followed; other values are stepped over.
class DuplicateKeyFinder {
public:
    explicit DuplicateKeyFinder(const QByteArray& bytes) : bytes_(bytes) {}

    /// "where: key "k" given twice (line L, column C)" for the first such key; empty if none.
    QString find() {
        while (at_ < bytes_.size()) {
            const char c = bytes_[at_];
            if (c == '{' || c == '[') {
                open(c == '{');
            } else if ((c == '}' || c == ']') && !frames_.empty()) {
                frames_.pop_back();
            } else if (c == ',' && !frames_.empty()) {
                Frame& frame = frames_.back();
                frame.expect_key = frame.object;
                ++frame.index;
            } else if (c == '"') {
                const qsizetype start = at_;
                const bool is_key = !frames_.empty() && frames_.back().expect_key;
                const QString text = string(is_key);
                if (!is_key) continue;
                Frame& frame = frames_.back();
                frame.expect_key = false;
                if (frame.keys.contains(text)) {
                    return place(frame.where) + QStringLiteral(": key \"%1\" given twice (%2)")
                                                    .arg(text, position_of(bytes_, start));
                }
                frame.keys.insert(text);
                frame.key = text;
                continue;
            }
            ++at_;  // a bracket, a comma, a colon, white space, a number, true, false, null
        }
        return {};
    }

private:
    struct Frame {
        bool object = false;
        bool expect_key = false;
        qsizetype index = 0;  ///< of the current element, in an array
        QString where;
        QString key;  ///< the current member's, in an object
        QSet<QString> keys;
    };

    void open(bool object) {
        QString where;
        if (!frames_.empty()) {
            const Frame& outer = frames_.back();
            where = outer.object ? (outer.where.isEmpty() ? outer.key
                                                          : outer.where + u'.' + outer.key)
                                 : json_element(outer.where, outer.index);
        }
        frames_.push_back({object, object, 0, std::move(where), {}, {}});
    }

    // The string whose opening quote is at at_, with its escapes decoded when keep is set;
    // at_ ends past its closing quote.
    QString string(bool keep) {
        QString text;
        qsizetype run = ++at_;  // where the bytes without escapes begin
        const auto flush_run = [&] {
            if (keep) text += QString::fromUtf8(bytes_.constData() + run, at_ - run);
        };
        while (at_ < bytes_.size() && bytes_[at_] != '"') {
            if (bytes_[at_] != '\\') {
                ++at_;
                continue;
            }
            flush_run();
            if (++at_ >= bytes_.size()) break;
            const char escaped = bytes_[at_++];
            char16_t unit = static_cast<char16_t>(escaped);  // '"', '\\', '/'
            if (escaped == 'b') unit = u'\b';
            if (escaped == 'f') unit = u'\f';
            if (escaped == 'n') unit = u'\n';
            if (escaped == 'r') unit = u'\r';
            if (escaped == 't') unit = u'\t';
            if (escaped == 'u') {
                unit = 0;
                for (int i = 0; i < 4 && at_ < bytes_.size(); ++i, ++at_) {
                    unit = static_cast<char16_t>(unit << 4 |
                                                 std::max(0, hex_digit(QLatin1Char(bytes_[at_]))));
                }
            }
            if (keep) text += QChar(unit);
            run = at_;
        }
        flush_run();
        if (at_ < bytes_.size()) ++at_;  // the closing quote
        return text;
    }

    const QByteArray& bytes_;
    qsizetype at_ = 0;
    std::vector<Frame> frames_;
};

}  // namespace

bool parse_json(const QByteArray& bytes, QJsonDocument& document, QString& error) {
    QJsonParseError parse{};
    document = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError) {
        error = QStringLiteral("not valid JSON at %1: %2")
                    .arg(position_of(bytes, parse.offset), parse.errorString());
        return false;
    }
    error = DuplicateKeyFinder(bytes).find();
    return error.isEmpty();
}

void JsonInput::fail(const QString& where, const QString& problem) {
    if (error_.isEmpty()) error_ = place(where) + QStringLiteral(": ") + problem;
}

std::optional<std::int64_t> JsonInput::integer(const QJsonValue& value, const QString& where,
                                               std::int64_t minimum, std::int64_t maximum) {
    const QString range = QStringLiteral("%1 to %2").arg(minimum).arg(maximum);
    if (!value.isDouble()) {
        fail(where, QStringLiteral("expected an integer from ") + range);
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::floor(number) != number) {
        fail(where, QStringLiteral("%1 is not an integer").arg(number));
        return std::nullopt;
    }
    if (number < static_cast<double>(minimum) || number > static_cast<double>(maximum)) {
        fail(where, QStringLiteral("%1 is out of range, expected ").arg(number, 0, 'f', 0) + range);
        return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
}

std::optional<std::vector<std::uint8_t>> JsonInput::hex(const QJsonValue& value,
                                                        const QString& where,
                                                        std::size_t min_bytes,
                                                        std::size_t max_bytes) {
    const QString bounds = min_bytes == max_bytes
                               ? QStringLiteral("exactly %1 bytes").arg(min_bytes)
                               : QStringLiteral("%1 to %2 bytes").arg(min_bytes).arg(max_bytes);
    if (!value.isString()) {
        fail(where, QStringLiteral("expected a string of hex digits, ") + bounds);
        return std::nullopt;
    }
    const QString digits = value.toString();
    const auto length = static_cast<std::size_t>(digits.size());
    if (length % 2 != 0) {
        fail(where, QStringLiteral("odd number of hex digits (%1)").arg(length));
        return std::nullopt;
    }
    if (length / 2 < min_bytes || length / 2 > max_bytes) {
        fail(where, QStringLiteral("%1 bytes, expected ").arg(length / 2) + bounds);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(length / 2);
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const int high = hex_digit(digits[i]);
        const int low = hex_digit(digits[i + 1]);
        if (high < 0 || low < 0) {
            fail(where, QStringLiteral("\"%1\" at character %2 is not a hex digit")
                            .arg(high < 0 ? digits[i] : digits[i + 1])
                            .arg(high < 0 ? i + 1 : i + 2));
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return bytes;
}

std::optional<QString> JsonInput::text(const QJsonValue& value, const QString& where,
                                       qsizetype max_length) {
    if (!value.isString()) {
        fail(where, QStringLiteral("expected a string"));
        return std::nullopt;
    }
    QString result = value.toString();
    if (result.size() > max_length) {
        fail(where, QStringLiteral("longer than %1 characters").arg(max_length));
        return std::nullopt;
    }
    return result;
}

bool JsonInput::is_true(const QJsonValue& value, const QString& where) {
    if (!value.isBool() || !value.toBool()) {
        fail(where, QStringLiteral("expected true"));
        return false;
    }
    return true;
}

std::optional<QJsonObject> JsonInput::object(const QJsonValue& value, const QString& where) {
    if (!value.isObject()) {
        fail(where, QStringLiteral("expected an object"));
        return std::nullopt;
    }
    return value.toObject();
}

bool JsonInput::only_keys(const QJsonObject& object, const QString& where,
                          std::initializer_list<const char*> keys) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool known = false;
        for (const char* key : keys) known = known || it.key() == QLatin1String(key);
        if (!known) {
            QString expected;
            for (const char* key : keys) {
                if (!expected.isEmpty()) expected += QStringLiteral(", ");
                expected += QLatin1String(key);
            }
            fail(where, QStringLiteral("unknown key \"%1\" (expected: %2)").arg(it.key(), expected));
            return false;
        }
    }
    return true;
}

bool JsonInput::has_key(const QJsonObject& object, const QString& where, const char* key) {
    if (object.contains(QLatin1String(key))) return true;
    fail(where, QStringLiteral("missing \"%1\"").arg(QLatin1String(key)));
    return false;
}

QString json_member(const QString& where, const char* key) {
    return where.isEmpty() ? QString::fromLatin1(key) : where + u'.' + QLatin1String(key);
}

QString json_element(const QString& where, qsizetype index) {
    return where + QStringLiteral("[%1]").arg(index);
}

}  // namespace korvel
