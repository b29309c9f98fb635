#include "util_platform_seam.h"

namespace korvel {

namespace {
UtilPlatform the_util_platform;
}  // namespace

void install_util_platform(const UtilPlatform& platform) { the_util_platform = platform; }

const UtilPlatform& installed_util_platform() { return the_util_platform; }

}  // namespace korvel
