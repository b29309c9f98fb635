#include "write_span_hold.h"

#include "util_platform_seam.h"

namespace korvel {

void install_os_write_span_hold() {
    UtilPlatform platform = installed_util_platform();
    platform.write_span = &os_write_span_hold();
    install_util_platform(platform);
}

}  // namespace korvel
