#include "sim_platform.h"

namespace korvel {

SimPlatform::~SimPlatform() {
    if (installed()) install_platform(Platform{});
}

Platform SimPlatform::seams() { return Platform{&identity, &aspi, &nt}; }

void SimPlatform::install() { install_platform(seams()); }

bool SimPlatform::installed() const {
    const Platform& p = installed_platform();
    return p.identity == &identity || p.aspi_library == &aspi || p.nt == &nt;
}

}  // namespace korvel
