#include "platform_seam.h"

#include "thread_seam.h"

namespace korvel {

namespace {
Platform the_platform;
}  // namespace

void install_platform(const Platform& platform) { the_platform = platform; }

const Platform& installed_platform() { return the_platform; }

void platform_sleep(std::uint32_t milliseconds) {
    if (the_platform.threads != nullptr) the_platform.threads->sleep(milliseconds);
}

void platform_yield() {
    if (the_platform.threads != nullptr) the_platform.threads->yield();
}

}  // namespace korvel
