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

/// A device's SCSI address as the platform reports it: port (host adapter), path (bus or
/// channel), target ID and LUN.
struct ScsiAddress {
    std::uint8_t port;
    std::uint8_t path_id;
    std::uint8_t target_id;
    std::uint8_t lun;
};

/// Closes a device handle on behalf of the provider that opened it.
using CloseDeviceFn = void (*)(OsHandle handle);

// --- Operations the service layer calls --------------------------------------------------

/// Empties every slot and the host flags (handles are forgotten, not closed).
void clear_device_table();
/// Finds every device and sets the host count; returns it.
std::int32_t enumerate_devices();
/// Answers SC_HA_INQUIRY; always SS_COMP.
std::uint8_t emulate_ha_inquiry(SRB_HAInquiry& srb);
/// Carries out SC_EXEC_SCSI_CMD as one pass-through call; returns the final status byte and
/// leaves the block's SRB_Status to the sender (send_to_worker).
std::uint8_t emulate_exec_scsi(SRB_ExecSCSICmd& srb);
/// Closes every handle in the table once and empties every slot.
void close_all_devices();

// --- The device table and the request mapping, shared by every pass-through provider ------

/// Registers a device that knows its SCSI address: a secondary bus (path id not 0) waits in
/// the extra-bus list, the first bus goes straight into the port's slot, and the port counts
/// as present either way. A handle that is not kept (occupied slot, full list, an address the
/// table cannot hold) is closed with `close`.
void register_addressed_device(OsHandle handle, const ScsiAddress& address, CloseDeviceFn close);
/// Gives each distinct (port, path) of the extra-bus list the next free host number, in the
/// list's order, stores its devices there and empties the list. Handles that find no slot are
/// closed with `close`.
void assign_secondary_buses(CloseDeviceFn close);
/// Closes every handle in the table once with `close` (none when it is null) and empties
/// every slot.
void close_device_table(CloseDeviceFn close);
/// Sets the host count from the host flags at the end of an enumeration; returns it.
std::int32_t record_host_count();
/// The platform port a host number stands for: itself for a port, the owning port for a
/// secondary bus, NO_PORT for the unaddressed-device host; -1 for a number the enumeration
/// did not give out.
std::int32_t host_port(std::uint32_t host);
inline constexpr std::int32_t NO_PORT = -2;

/// Fills an SC_HA_INQUIRY answer; `driver` is the adapter's driver name, `length` bytes of
/// which are looked at (it ends at the first zero byte, and HA_Identifier takes at most 16).
/// Returns SS_COMP.
std::uint8_t fill_ha_inquiry(SRB_HAInquiry& srb, const std::uint8_t* driver, std::size_t length);
/// Builds the pass-through request for an execute block addressed to `slot`; the caller's data
/// buffer goes into it as it is. False for a command longer than 16 bytes, which no platform
/// takes (the caller refuses it as an invalid parameter).
bool prepare_pass_through(const SRB_ExecSCSICmd& srb, const DeviceSlot& slot,
                          PassThroughRequest& request);
/// The block's status after the platform carried out the request: SRB_TargStat and SRB_HaStat
/// set, the device's sense bytes copied on CHECK CONDITION.
std::uint8_t complete_pass_through(SRB_ExecSCSICmd& srb, const PassThroughRequest& request);
/// The block's status when the platform did not carry out the request: 0xE6 with sense key
/// ILLEGAL REQUEST when it refused it as an invalid parameter, else SS_ERR with HARDWARE ERROR.
/// The made-up sense is written only when `sense_writable`; the status bytes stay as they were.
std::uint8_t fail_pass_through(SRB_ExecSCSICmd& srb, bool invalid_parameter, bool sense_writable);

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
