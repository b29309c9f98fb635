// The firmware files every harness run's folder holds, as the cases' scripts name them.
#pragma once

namespace korvel::harness {

inline constexpr const char* SOUND_FILE = "pv30.bin";
inline constexpr const char* DAMAGED_FILE = "pv30-damaged.bin";
/// The model text of the bridge the cases' buses carry at adapter 0, target 3.
inline constexpr const char* PV30_MODEL = "PV30-QTRLC-0B1";

}  // namespace korvel::harness
