#include "sim_write_span.h"

namespace korvel {

bool SimWriteSpanHold::take(const char* reason) {
    held_ = true;
    ++takes_;
    if (observer_) observer_(true, reason != nullptr ? reason : "");
    return true;
}

void SimWriteSpanHold::release() {
    held_ = false;
    if (observer_) observer_(false, "");
}

}  // namespace korvel
