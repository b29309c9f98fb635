// The short line the window shows while an update runs ("Writing 3 of 16"), in the run's
// language: a table of its own beside the message catalogue, whose slots stay as they are.
#pragma once

#include <cstddef>

#include "progress_seam.h"

namespace korvel {

/// The line for step of piece of pieces (one piece: no numbers), in text (capacity bytes,
/// zero-terminated, cut to fit). Returns text.
const char* progress_text(UpdateStep step, int piece, int pieces, char* text,
                          std::size_t capacity);

/// The line once the update has been written and verified in full ("Done"), in the run's
/// language.
const char* progress_done_text();

/// Why the machine may not sleep, log off or shut down while a bridge is written: the reason
/// the system shows to the person, in the run's language (UTF-8).
const char* write_span_reason();

}  // namespace korvel
