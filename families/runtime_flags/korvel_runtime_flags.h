// The two run-time switches that the main window sets and the family modules read.
//
// They live in this leaf unit, below both, so the modules never reach up into the window:
// the window writes them when the user picks an adapter or toggles the hidden test mode, the
// modules read them while an update runs. Both start false and are kept for the whole run.
#pragma once

namespace korvel {

/// Whether the selected host adapter needs the two empty WRITE BUFFER 0x71 commands before a
/// firmware write (set by the window for the LSI adapters' drivers: "Symmpi" and "LSI_SCSI"
/// on Windows, "mptspi" and "sym53c8xx" on Linux).
bool lsi_adapter();
void set_lsi_adapter(bool on);

/// Whether the hidden field test mode is on; the PV20 check then accepts an image of another
/// variant letter.
bool fae_test_mode();
void set_fae_test_mode(bool on);

}  // namespace korvel
