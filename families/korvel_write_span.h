// The write span: from the Yes of the update question to the update's last command. While it
// is open the machine is kept from sleeping and log-off and shut-down are held off, with the
// run's reason text, through the platform's write span hold (none installed: nothing is held,
// the span still counts as open). Declined, damaged and foreign files never open it.
#pragma once

namespace korvel {

/// Opens the span and takes the platform's hold; a span already open stays as it is.
void open_write_span();
/// Closes the span and lets the hold go; a closed span stays closed.
void close_write_span();
/// Whether a write span is open: the window then refuses to close and the session to end.
bool write_span_is_open();

}  // namespace korvel
