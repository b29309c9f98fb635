// Start-up detection of the system language, read once before anything else.
#pragma once

#include <cstdint>

namespace korvel {

/// Primary language ID of the system default locale (0..1023).
extern std::int32_t system_language;
/// Sublanguage ID of the system default locale (0..63).
extern std::int32_t system_sublanguage;

/// Reads the system default locale through the installed platform and sets both globals.
void detect_system_language();

}  // namespace korvel
