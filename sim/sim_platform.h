// The whole simulated platform: one identity, one ASPI library and one NT system, installed
// together as the platform the transport talks to.
#pragma once

#include "platform_seam.h"
#include "sim_aspi_library.h"
#include "sim_identity.h"
#include "sim_nt_system.h"

namespace korvel {

class SimPlatform {
public:
    SimPlatform() = default;
    /// Uninstalls the platform when it is still the installed one.
    ~SimPlatform();
    SimPlatform(const SimPlatform&) = delete;
    SimPlatform& operator=(const SimPlatform&) = delete;

    /// The three seams and the machine's own threads as a Platform (a test may null members
    /// before installing it).
    Platform seams();
    /// Installs them as the platform.
    void install();
    /// Whether the installed platform is (partly) this one.
    bool installed() const;

    SimIdentity identity;
    SimAspiLibrary aspi;
    SimNtSystem nt;
};

}  // namespace korvel
