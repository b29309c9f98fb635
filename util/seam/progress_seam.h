// How far an update is: the family modules report each step of their plan as it starts, and
// whoever shows the window (the form) listens. Nothing here knows of a window or a toolkit.
#pragma once

#include <cstdint>

namespace korvel {

enum class UpdateStep : std::uint8_t { writing, verifying };

class UpdateProgress {
public:
    virtual ~UpdateProgress() = default;
    /// step of piece (from 1) of pieces is starting.
    virtual void update_step(UpdateStep step, int piece, int pieces) = 0;
    /// The write is over, before its outcome is shown: written, or failed.
    virtual void update_finished(bool written) = 0;
};

/// Installs the listener for the rest of the run (null: nobody listens).
void install_update_progress(UpdateProgress* progress);
/// Tells the installed listener, if any.
void report_update_step(UpdateStep step, int piece, int pieces);
void report_update_finished(bool written);

}  // namespace korvel
