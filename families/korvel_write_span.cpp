#include "korvel_write_span.h"

#include "korvel_progress_text.h"
#include "util_platform_seam.h"

namespace korvel {

namespace {

bool span_open = false;
// The hold taken for the open span, released at its close even when another platform was
// installed meanwhile.
WriteSpanHold* taken_hold = nullptr;

}  // namespace

void open_write_span() {
    if (span_open) return;
    span_open = true;
    WriteSpanHold* hold = installed_util_platform().write_span;
    if (hold != nullptr && hold->take(write_span_reason())) taken_hold = hold;
}

void close_write_span() {
    if (!span_open) return;
    span_open = false;
    if (taken_hold != nullptr) taken_hold->release();
    taken_hold = nullptr;
}

bool write_span_is_open() { return span_open; }

}  // namespace korvel
