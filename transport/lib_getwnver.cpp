#include "lib_getwnver.h"

#include "platform_seam.h"

namespace korvel {

std::int32_t system_language = 0;
std::int32_t system_sublanguage = 0;

void detect_system_language() {
    PlatformIdentity* identity = installed_platform().identity;
    const std::uint32_t lcid = identity != nullptr ? identity->system_default_lcid() : 0x0409;
    const std::uint32_t language_id = lcid & 0xFFFFu;
    system_language = static_cast<std::int32_t>(language_id & 0x3FFu);
    system_sublanguage = static_cast<std::int32_t>(language_id >> 10);
}

}  // namespace korvel
