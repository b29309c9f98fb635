#include "sim_platform.h"

#include "os_threads.h"

namespace korvel {

SimPlatform::~SimPlatform() {
    if (installed()) install_platform(Platform{});
}

// The waits and threads are the machine's own: only the system and the devices are simulated.
Platform SimPlatform::seams() {
    Platform platform{&identity, &aspi, &nt};
    platform.threads = &os_threads();
    return platform;
}

void SimPlatform::install() { install_platform(seams()); }

bool SimPlatform::installed() const {
    const Platform& p = installed_platform();
    return p.identity == &identity || p.aspi_library == &aspi || p.nt == &nt;
}

}  // namespace korvel
