// The system's hold for the write span: on Linux a logind inhibitor lock of sleep and
// shut-down, taken over the system bus; on Windows the execution state that keeps the machine
// awake and the reason shown when a shut-down or log-off is refused. A library of its own, so
// that only the programs that write bridges depend on the system's bus library.
#pragma once

#include <cstdint>

namespace korvel {

class WriteSpanHold;  // util_platform_seam.h

/// The system's hold (one for the run).
WriteSpanHold& os_write_span_hold();

/// Makes the system's hold the installed platform's write span hold; call after
/// install_os_util_platform.
void install_os_write_span_hold();

/// The window whose name the system shows beside the reason when it refuses to end the
/// session (an HWND as an integer on Windows; 0 for none). Nothing on Linux, where the
/// inhibitor names the program itself.
void set_write_span_window(std::uintptr_t window);

}  // namespace korvel
