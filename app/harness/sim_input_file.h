// korvel-sim's files on disk: its input (bus and script) read whole, and the paths of a run.
// Only a regular file is read: a FIFO, a device or a folder named as an input is refused at
// once, so a run never waits on one nor reads an endless stream. Paths are UTF-8 on every
// system.
#pragma once

#include <string>

#include "regular_file.h"

namespace korvel {

/// An input file's bytes, and which file they came from.
struct InputFile {
    std::string bytes;
    FileIdentity identity;
};

/// Reads the regular file at path, at most SIM_INPUT_FILE_LIMIT bytes. On failure returns
/// false and sets error ("cannot read the file: ...", "read error: ...").
bool read_input_file(const std::string& path, InputFile& file, std::string& error);

/// Why an open of the os/ functions failed, for a message.
std::string open_failure_text(const RegularFile& failed);

/// name as a path: itself when absolute, otherwise inside folder.
std::string resolve_path(const std::string& folder, const std::string& name);
/// The absolute path of the folder that holds path.
std::string folder_of(const std::string& path);
/// Whether two paths name one file by their absolute or resolved forms (the file's identity
/// is compared once it is opened).
bool same_path(const std::string& one, const std::string& other);

}  // namespace korvel
