// korvel-sim's files on disk: its input (bus and script) read whole, and paths as the os/
// functions take them. Only a regular file is read: a FIFO, a device or a folder named as an
// input is refused at once, so a run never waits on one nor reads an endless stream.
#pragma once

#include <QByteArray>
#include <QString>

#include "regular_file.h"

namespace korvel {

/// An input file's bytes, and which file they came from.
struct InputFile {
    QByteArray bytes;
    FileIdentity identity;
};

/// Reads the regular file at path, at most SIM_INPUT_FILE_LIMIT bytes. On failure returns
/// false and sets error ("cannot read the file: ...", "read error: ...").
bool read_input_file(const QString& path, InputFile& file, QString& error);

/// path as the os/ functions take it (UTF-8).
QByteArray os_path(const QString& path);

/// Why an open of the os/ functions failed, for a message.
QString open_failure_text(const RegularFile& failed);

}  // namespace korvel
