#include "sim_input_file.h"

#include <QFile>

#include <cstring>

#include "sim_json_input.h"

namespace korvel {

namespace {

constexpr qint64 READ_CHUNK = 64 * 1024;

QString too_large() {
    return QStringLiteral("the file is larger than %1 bytes").arg(SIM_INPUT_FILE_LIMIT);
}

}  // namespace

QByteArray os_path(const QString& path) { return path.toUtf8(); }

QString open_failure_text(const RegularFile& failed) {
    if (failed.not_regular) return QStringLiteral("not a regular file");
    return QString::fromLocal8Bit(std::strerror(failed.error));
}

bool read_input_file(const QString& path, InputFile& input, QString& error) {
    const RegularFile opened = open_regular_file_for_reading(os_path(path).constData());
    if (opened.descriptor < 0) {
        error = QStringLiteral("cannot read the file: ") + open_failure_text(opened);
        return false;
    }
    QFile file;
    if (!file.open(opened.descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        error = QStringLiteral("cannot read the file: ") + file.errorString();
        return false;
    }
    input.identity = opened.identity;
    if (file.size() > SIM_INPUT_FILE_LIMIT) {
        error = too_large();
        return false;
    }
    // To the end whatever size the file claims (files in /proc claim none), and a failed read
    // is a read error: what came before it is not taken for the whole file.
    input.bytes.clear();
    char chunk[READ_CHUNK];
    for (;;) {
        const qint64 count = file.read(chunk, READ_CHUNK);
        if (count < 0) {
            error = QStringLiteral("read error: ") + file.errorString();
            return false;
        }
        if (count == 0) return true;
        input.bytes.append(chunk, count);
        if (input.bytes.size() > SIM_INPUT_FILE_LIMIT) {
            error = too_large();
            return false;
        }
    }
}

}  // namespace korvel
