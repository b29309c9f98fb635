// ASPI emulation over the Linux SCSI generic (sg) driver.
//
// Fills the same device table as the NT pass-through emulation: every sg node is opened and
// registered at the address the sg driver reports for it, adapters are named by their kernel
// driver, and execute requests run as one synchronous SG_IO call each.
#pragma once

#include <cstddef>
#include <cstdint>

#include "aspi_srb.h"
#include "platform_seam.h"

namespace korvel {

/// Most sg nodes one enumeration looks at (the device table has far fewer LUN slots in use).
inline constexpr std::size_t SG_NODE_LIST_CAPACITY = 1024;

/// Opens every sg node, registers it and sets the host count; returns it.
std::int32_t enumerate_sg_devices();
/// Answers SC_HA_INQUIRY with the adapter's kernel driver name; always SS_COMP.
std::uint8_t sg_ha_inquiry(SRB_HAInquiry& srb);
/// Carries out SC_EXEC_SCSI_CMD as one SG_IO call; returns the final status byte and leaves
/// the block's SRB_Status to the sender (send_to_worker).
std::uint8_t sg_exec_scsi(SRB_ExecSCSICmd& srb);
/// Closes every sg node in the table once and empties every slot.
void close_all_sg_devices();

}  // namespace korvel
