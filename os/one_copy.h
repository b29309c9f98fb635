// One running copy of korvel-update per machine: a name the program claims at start and holds
// until its process ends, whichever user or session started it.
//
// This header stays free of operating-system headers so that the program start can include it.
#pragma once

#include <cstdint>

namespace korvel {

/// The name korvel-update claims. korvel-sim, a simulation, claims nothing.
inline constexpr const char* KORVEL_UPDATE_COPY_NAME = "KorvelUpdate.RunningCopy";

/// What a claim found.
enum class CopyClaim : std::uint8_t {
    claimed,      ///< this process holds the name now, until it ends or releases it
    taken,        ///< another process holds it: a copy already runs (or this process holds it)
    unavailable,  ///< the system refused the claim for another reason: nothing is known
};

/// Claims name for this process, machine-wide, every user and session included. A process
/// holds one claim at a time: while it holds one, a further claim answers taken.
CopyClaim claim_one_copy(const char* name);

/// Gives the held claim up (tests; the program keeps its claim until it ends). Nothing
/// happens when none is held.
void release_one_copy();

}  // namespace korvel
