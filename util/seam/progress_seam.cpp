#include "progress_seam.h"

namespace korvel {

namespace {
UpdateProgress* listener = nullptr;
}  // namespace

void install_update_progress(UpdateProgress* progress) { listener = progress; }

void report_update_step(UpdateStep step, int piece, int pieces) {
    if (listener != nullptr) listener->update_step(step, piece, pieces);
}

void report_update_finished(bool written) {
    if (listener != nullptr) listener->update_finished(written);
}

}  // namespace korvel
