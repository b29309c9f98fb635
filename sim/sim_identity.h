// A simulated platform identity: the family and system locale a test chooses.
#pragma once

#include <cstdint>

#include "platform_seam.h"

namespace korvel {

/// English (United States).
inline constexpr std::uint32_t SIM_LCID_ENGLISH_US = 0x0409;

class SimIdentity final : public PlatformIdentity {
public:
    void set_family(PlatformFamily family) { family_ = family; }
    void set_lcid(std::uint32_t lcid) { lcid_ = lcid; }

    PlatformFamily family() override { return family_; }
    std::uint32_t system_default_lcid() override { return lcid_; }

private:
    PlatformFamily family_ = PlatformFamily::windows_nt;
    std::uint32_t lcid_ = SIM_LCID_ENGLISH_US;
};

}  // namespace korvel
