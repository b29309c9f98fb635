// The answer of IOCTL_SCSI_GET_INQUIRY_DATA, built byte for byte as the SCSI port driver
// writes it (SCSI_ADAPTER_BUS_INFO, SCSI_BUS_DATA, SCSI_INQUIRY_DATA).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sim_device.h"

namespace korvel {

/// One logical unit on a simulated bus.
struct SimLogicalUnit {
    std::uint8_t target_id = 0;
    std::uint8_t lun = 0;
    std::shared_ptr<SimDevice> device;
    bool claimed = false;  ///< a class driver owns it
};

/// One bus (path id = its index in the port) of a simulated SCSI port.
struct SimBus {
    std::uint8_t initiator_id = 7;
    std::vector<SimLogicalUnit> units;  ///< kept in ascending order of target, then LUN
};

// Layout of the answer.
inline constexpr std::size_t BUS_INFO_BUS_DATA_OFFSET = 4;    ///< first SCSI_BUS_DATA
inline constexpr std::size_t BUS_DATA_SIZE = 8;               ///< one SCSI_BUS_DATA
inline constexpr std::size_t INQUIRY_ENTRY_HEADER_SIZE = 12;  ///< SCSI_INQUIRY_DATA up to its data
inline constexpr std::size_t INQUIRY_ENTRY_DATA_SIZE = 36;    ///< INQUIRY bytes per entry
inline constexpr std::size_t INQUIRY_ENTRY_SIZE =
    INQUIRY_ENTRY_HEADER_SIZE + INQUIRY_ENTRY_DATA_SIZE;

/// The whole answer for a port with these buses: NumberOfBuses at byte 0; per bus at
/// 4 + 8 * path {NumberOfLogicalUnits, InitiatorBusId, 2 pad, InquiryDataOffset (u32)}; then,
/// from the next 8-byte boundary, every bus's entries in turn {PathId, TargetId, Lun,
/// DeviceClaimed, InquiryDataLength (u32), NextInquiryDataOffset (u32), 36 INQUIRY bytes},
/// offsets from the start of the answer, 0 ending a bus's chain and standing for a bus
/// without devices. Claimed and unclaimed devices are both listed.
std::vector<std::uint8_t> build_adapter_bus_info(std::span<const SimBus> buses);

}  // namespace korvel
