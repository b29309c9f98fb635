// The line a second start of korvel-update shows while a copy of it already runs, in the run's
// language: a table of its own beside the message catalogue, whose slots stay as they are.
#pragma once

namespace korvel {

/// "KORVEL Firmware Update is already running." in the language column of the system
/// language (the catalogue's choice). The text lives for the whole run.
const char* already_running_text();

}  // namespace korvel
