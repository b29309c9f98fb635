// ASPI emulation over the NT family's SCSI pass-through service.
//
// Enumerates every SCSI device the platform lets us open into a fixed table addressed by
// host adapter, target ID and LUN, answers host adapter inquiries, and carries out execute
// requests as synchronous pass-through calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "aspi_srb.h"
#include "platform_seam.h"

namespace korvel {

inline constexpr std::size_t MAX_HOSTS = 32;
inline constexpr std::size_t MAX_TARGETS = 128;
inline constexpr std::size_t MAX_LUNS = 8;
inline constexpr std::size_t EXTRA_BUS_LIST_CAPACITY = 1024;

/// One address of the device table: the open handle (0 = empty) and the bus to address.
struct DeviceSlot {
    OsHandle handle;
    std::uint32_t path_id;
};

/// A device on a secondary bus of a port, waiting for a host number of its own.
struct ExtraBusDevice {
    std::uint8_t port;
    std::uint8_t path_id;
    std::uint8_t target_id;
    std::uint8_t lun;
    OsHandle handle;
};

/// Answers of pick_port_device besides a device type.
inline constexpr std::uint8_t PORT_DEVICE_END = 0xFE;
inline constexpr std::uint8_t PORT_DEVICE_SKIP = 0xFF;

/// Where pick_port_device found its device.
struct PortDeviceAddress {
    std::uint8_t path_id;
    std::uint8_t target_id;
    std::uint8_t lun;
};

// --- Operations the service layer calls --------------------------------------------------

/// Empties every slot and the host flags (handles are forgotten, not closed).
void clear_device_table();
/// Finds every device and sets the host count; returns it.
std::int32_t enumerate_devices();
/// Answers SC_HA_INQUIRY; always SS_COMP.
std::uint8_t emulate_ha_inquiry(SRB_HAInquiry& srb);
/// Carries out SC_EXEC_SCSI_CMD as one pass-through call; returns the status byte.
std::uint8_t emulate_exec_scsi(SRB_ExecSCSICmd& srb);
/// Closes every handle in the table once and empties every slot.
void close_all_devices();

// --- State, read by the service layer and by tests ---------------------------------------

/// The slot at an address; an address outside the table reads as an empty slot.
DeviceSlot device_slot(std::uint32_t host, std::uint32_t target, std::uint32_t lun);
/// Whether a host number received a device or was reported as a port.
bool host_present(std::uint32_t host);
/// Highest host number in use plus one (0 when none); host numbers may have gaps.
std::int32_t count_hosts();
/// Number of host numbers the last enumeration found.
std::int32_t host_count();
/// Clears the host flags and the host count.
void clear_host_flags();

// --- Pieces of the enumeration, open for tests ---------------------------------------------

/// Picks the n-th entry of the first bus from an IOCTL_SCSI_GET_INQUIRY_DATA answer of
/// `filled` bytes: PORT_DEVICE_END, PORT_DEVICE_SKIP, or the device's first INQUIRY byte.
/// Offsets that lead outside the filled bytes end the chain.
std::uint8_t pick_port_device(const std::uint8_t* buffer, std::size_t filled, std::uint32_t n,
                              PortDeviceAddress* address);
/// Inserts a device into the sorted secondary-bus list; false when full or already there.
bool insert_extra_bus_device(const ExtraBusDevice& device);
/// Number of entries in the secondary-bus list.
std::size_t extra_bus_count();

}  // namespace korvel
