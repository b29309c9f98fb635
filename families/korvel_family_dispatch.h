// The one entry the window calls for an update: picks the family module by the bridge's
// family code, so the window need not know every module.
#pragma once

#include <cstdint>

namespace korvel {

/// Results of update_firmware_for_family.
inline constexpr int UPDATE_WRITTEN = 1;      ///< confirmed and written (whatever the outcome)
inline constexpr int UPDATE_NOT_WRITTEN = 0;  ///< rejected, declined or address out of range
inline constexpr int UPDATE_NO_MODULE = -1;   ///< no module for this family code

/// Whether a family module serves this family code (1, 3, 4, 5, 6, 7, 8, 20, 21, 22).
bool family_has_module(std::int32_t family_code);

/// The short name of a family code's bridges ("PV30", "PV40 QTZF", "PV30-A"); "" for a code
/// that names no KORVEL bridge.
const char* family_name(std::int32_t family_code);

/// Hands the open firmware file to the module of family_code, which reads and closes it,
/// checks the image, asks, writes and reports. Returns UPDATE_WRITTEN or UPDATE_NOT_WRITTEN
/// after the module has closed the file. For a code without a module (0, 2 and every unknown
/// code) returns UPDATE_NO_MODULE and leaves the file untouched: the caller shows its own
/// message and closes it. A host, target or LUN outside 0..255 cannot name a device: the file
/// is closed and nothing is sent or shown.
int update_firmware_for_family(std::int32_t family_code, int host, int target, int lun,
                               const char* model, int file);

}  // namespace korvel
