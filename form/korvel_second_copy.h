// What a second start of korvel-update shows when it finds a copy already running and cannot
// bring that copy's window forward; the same box on both faces.
#pragma once

namespace korvel {

/// Shows "KORVEL Firmware Update is already running." in the run's language through the
/// installed user interface: the catalogue's information caption, the information icon, OK.
void show_already_running();

}  // namespace korvel
