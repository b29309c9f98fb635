#include "platform_seam.h"

namespace korvel {

namespace {
Platform the_platform;
}  // namespace

void install_platform(const Platform& platform) { the_platform = platform; }

const Platform& installed_platform() { return the_platform; }

}  // namespace korvel
