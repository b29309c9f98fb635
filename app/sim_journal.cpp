#include "sim_journal.h"

#include <QCryptographicHash>

#include <algorithm>

#include "sim_input_file.h"

namespace korvel {

namespace {

const char HEX_DIGITS[] = "0123456789abcdef";

const char* direction_name(const SimJournalEntry& command) {
    if (command.length == 0) return "none";
    switch (command.direction) {
    case SimDirection::in:
        return "in";
    case SimDirection::out:
        return "out";
    case SimDirection::by_command:
        // Only an ASPI request can leave the direction to the command; the NT pass-through
        // always names it.
        return "unspecified";
    case SimDirection::none:
        break;
    }
    return "none";
}

}  // namespace

QByteArray json_string(const QString& text) {
    // Through UTF-16 and back, so the bytes written are well-formed UTF-8 whatever came in.
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
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
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

QByteArray hex_text(std::span<const std::uint8_t> bytes) {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(bytes.size() * 2));
    for (const std::uint8_t byte : bytes) {
        out += HEX_DIGITS[byte >> 4];
        out += HEX_DIGITS[byte & 0x0F];
    }
    return out;
}

void JsonObjectText::key(const char* name) {
    if (!members_.isEmpty()) members_ += ',';
    members_ += json_string(QString::fromLatin1(name));
    members_ += ':';
}

JsonObjectText& JsonObjectText::text(const char* name, const QString& value) {
    key(name);
    members_ += json_string(value);
    return *this;
}

JsonObjectText& JsonObjectText::number(const char* name, std::int64_t value) {
    key(name);
    members_ += QByteArray::number(static_cast<qlonglong>(value));
    return *this;
}

JsonObjectText& JsonObjectText::boolean(const char* name, bool value) {
    key(name);
    members_ += value ? "true" : "false";
    return *this;
}

JsonObjectText& JsonObjectText::raw(const char* name, const QByteArray& json) {
    key(name);
    members_ += json;
    return *this;
}

QByteArray JsonObjectText::json() const { return '{' + members_ + '}'; }

QByteArray json_array(const std::vector<QByteArray>& values) {
    QByteArray out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ',';
        out += values[i];
    }
    out += ']';
    return out;
}

bool SimJournal::open(const QString& path, std::span<const FileIdentity> keep, QString& error) {
    std::lock_guard lock(mutex_);
    const RegularFile opened = open_regular_file_for_writing(os_path(path).constData());
    if (opened.descriptor < 0) {
        error = open_failure_text(opened);
        return false;
    }
    // Unbuffered: every line goes to the system as it is written, so the journal of a run
    // that dies stops at its last event.
    if (!file_.open(opened.descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                    QFileDevice::AutoCloseHandle)) {
        error = file_.errorString();
        return false;
    }
    if (std::find(keep.begin(), keep.end(), opened.identity) != keep.end()) {
        file_.close();
        error = QStringLiteral("it is the run's bus or script file");
        return false;
    }
    if (!file_.resize(0)) {
        error = file_.errorString();
        file_.close();
        return false;
    }
    return true;
}

void SimJournal::write(const JsonObjectText& event) {
    const QByteArray line = event.json() + '\n';
    std::lock_guard lock(mutex_);
    if (!file_.isOpen() || failed_) return;
    if (file_.write(line) != line.size()) {
        // A full disk (or a size limit) took part of the line at most: cut it off, so that
        // what the journal holds is whole events up to the failure.
        failed_ = true;
        file_.resize(written_);
        return;
    }
    written_ += line.size();
}

bool SimJournal::failed() const {
    std::lock_guard lock(mutex_);
    return failed_;
}

void SimJournal::close() {
    std::lock_guard lock(mutex_);
    file_.close();
}

JsonObjectText scsi_event(int host, int target, int lun, const SimJournalEntry& command) {
    JsonObjectText event;
    event.text("event", QStringLiteral("scsi"))
        .number("host", host)
        .number("target", target)
        .number("lun", lun)
        .raw("cdb", '"' + hex_text(command.cdb) + '"')
        .text("dir", QString::fromLatin1(direction_name(command)))
        .number("length", command.length);
    if (command.length > 0 && !command.data_out.empty() &&
        command.direction != SimDirection::in) {
        const QByteArrayView data(command.data_out.data(),
                                  static_cast<qsizetype>(command.data_out.size()));
        event.raw("sha256",
                  '"' + QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex() + '"');
    }
    event.number("status", command.status);
    return event;
}

}  // namespace korvel
