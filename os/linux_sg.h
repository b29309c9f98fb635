// The Linux SCSI generic (sg) driver behind the LinuxScsiGeneric seam.
#pragma once

#include <cstdint>

#include "platform_seam.h"

namespace korvel {

/// The real sg driver seam; one object for the whole run.
LinuxScsiGeneric& linux_scsi_generic();

/// Whether a /dev entry name is an sg node ("sg" and decimal digits only, no leading zero
/// unless it is "sg0", within 32 bits); its number goes to *number.
bool parse_sg_node_name(const char* entry, std::uint32_t* number);

/// How a failed SG_IO call is reported, from its errno: a request the kernel will not take at
/// all (EINVAL, ENOMEM) is refused, everything else failed.
SgIoOutcome sg_io_failure(int error);

}  // namespace korvel
