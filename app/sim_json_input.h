// Reading korvel-sim's input files (bus and script): their JSON, and checked values out of
// it. Every check names the place of the value ("adapters[0].devices[1].inquiry") and
// the problem, so a person can find and mend a bad file; the first problem found is kept.
#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

namespace korvel {

/// Largest input file korvel-sim reads.
inline constexpr qint64 SIM_INPUT_FILE_LIMIT = 16 * 1024 * 1024;

/// Parses the bytes of an input file as a JSON document in which no object gives a key twice.
/// On failure returns false and sets error ("not valid JSON at line 3, column 5: ...",
/// "adapters[0]: key \"driver\" given twice (line 4, column 7)").
bool parse_json(const QByteArray& bytes, QJsonDocument& document, QString& error);

/// Checked values out of a JSON document. Each getter returns nothing after recording the
/// problem; only the first problem is kept.
class JsonInput {
public:
    bool failed() const { return !error_.isEmpty(); }
    /// "where: problem" of the first problem.
    const QString& error() const { return error_; }
    void fail(const QString& where, const QString& problem);

    /// An integer (a JSON number without fraction) from minimum to maximum.
    std::optional<std::int64_t> integer(const QJsonValue& value, const QString& where,
                                        std::int64_t minimum, std::int64_t maximum);
    /// Bytes written as hex digits, two per byte (either case, nothing else), at least
    /// min_bytes and at most max_bytes of them.
    std::optional<std::vector<std::uint8_t>> hex(const QJsonValue& value, const QString& where,
                                                 std::size_t min_bytes, std::size_t max_bytes);
    /// A string of at most max_length characters.
    std::optional<QString> text(const QJsonValue& value, const QString& where,
                                qsizetype max_length);
    /// Exactly true (a switch that is only ever turned on).
    bool is_true(const QJsonValue& value, const QString& where);
    /// An object, or nothing.
    std::optional<QJsonObject> object(const QJsonValue& value, const QString& where);
    /// Whether object has no keys but these (an unknown key is a problem: most often a typo).
    bool only_keys(const QJsonObject& object, const QString& where,
                   std::initializer_list<const char*> keys);
    /// Whether object has key (a missing one is a problem).
    bool has_key(const QJsonObject& object, const QString& where, const char* key);

private:
    QString error_;
};

/// where + "." + key, or key alone at the top.
QString json_member(const QString& where, const char* key);
/// where + "[index]".
QString json_element(const QString& where, qsizetype index);

}  // namespace korvel
