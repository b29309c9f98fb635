#include "nt_emulation.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace korvel {

namespace {

// --- Program-wide tables ---------------------------------------------------------------------

DeviceSlot device_table[MAX_HOSTS * MAX_TARGETS * MAX_LUNS];
bool host_flags[MAX_HOSTS];
std::int32_t hosts_found = 0;
// The platform port each host number stands for (-1: not given out).
std::int32_t host_ports[MAX_HOSTS];

ExtraBusDevice extra_bus_list[EXTRA_BUS_LIST_CAPACITY];
std::size_t extra_bus_entries = 0;

// The port inquiry answer: 12 bytes plus the INQUIRY data per device, so a busy port does not
// fit in a few hundred bytes. The read starts small and doubles up to this bound.
constexpr std::uint32_t PORT_INQUIRY_FIRST_SIZE = 256;
constexpr std::uint32_t PORT_INQUIRY_MAX_SIZE = 64 * 1024;
std::uint8_t port_inquiry_buffer[PORT_INQUIRY_MAX_SIZE];

// Bounds for loops whose end the platform decides, so a platform that opens every name
// cannot keep the enumeration going for ever.
constexpr int MAX_PHYSICAL_DRIVES = 256;
constexpr int SCANNER_AND_TAPE_NUMBERS = 8;
constexpr int SCSI_PORT_NUMBERS = 8;
// Physical drive numbers that cannot be opened are passed over up to this one (a disk removed
// since boot leaves its number unused); from the next one on a missing number ends the pass.
constexpr int PHYSICAL_DRIVE_GAPS_UP_TO = 8;
// Each port inquiry entry takes at least 12 bytes, so no answer can list more than this.
constexpr std::uint32_t MAX_PORT_ENTRIES = PORT_INQUIRY_MAX_SIZE / 12;

constexpr std::uint8_t PERIPHERAL_DIRECT_ACCESS = 0x00;
constexpr std::uint8_t PERIPHERAL_CDROM = 0x05;
constexpr std::uint8_t PROBE_FAILED = 0xFF;

constexpr std::uint32_t PASS_THROUGH_TIMEOUT_SECONDS = 0xFFFF;
constexpr std::uint8_t PROBE_SENSE_LENGTH = 14;
constexpr std::size_t PLATFORM_SENSE_SIZE = sizeof(PassThroughRequest::sense);

constexpr std::uint8_t SENSE_KEY_HARDWARE_ERROR = 0x04;
constexpr std::uint8_t SENSE_KEY_ILLEGAL_REQUEST = 0x05;

// Size of SCSI_ADDRESS as IOCTL_SCSI_GET_ADDRESS returns it.
constexpr std::uint32_t SCSI_ADDRESS_SIZE = 8;

// Offsets within the IOCTL_SCSI_GET_INQUIRY_DATA answer.
constexpr std::size_t BUS_INFO_FIRST_INQUIRY_OFFSET = 8;  // first bus's InquiryDataOffset
constexpr std::size_t ENTRY_PATH_ID = 0;
constexpr std::size_t ENTRY_TARGET_ID = 1;
constexpr std::size_t ENTRY_LUN = 2;
constexpr std::size_t ENTRY_CLAIMED = 3;
constexpr std::size_t ENTRY_INQUIRY_LENGTH = 4;
constexpr std::size_t ENTRY_NEXT_OFFSET = 8;
constexpr std::size_t ENTRY_INQUIRY_DATA = 12;

NtPassThrough* nt() { return installed_platform().nt; }

// Handles of this provider are closed through the installed NT platform.
void close_nt_handle(OsHandle handle) {
    if (NtPassThrough* platform = nt()) platform->close_handle(handle);
}

bool in_table(std::uint32_t host, std::uint32_t target, std::uint32_t lun) {
    return host < MAX_HOSTS && target < MAX_TARGETS && lun < MAX_LUNS;
}

DeviceSlot& slot_at(std::uint32_t host, std::uint32_t target, std::uint32_t lun) {
    return device_table[host * MAX_TARGETS * MAX_LUNS + target * MAX_LUNS + lun];
}

std::uint32_t read_u32_le(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void set_host_present(std::uint32_t host, std::int32_t port) {
    if (host >= MAX_HOSTS) return;
    host_flags[host] = true;
    host_ports[host] = port;
}


// --- Opening device names ------------------------------------------------------------------

OsHandle open_drive_letter(NtPassThrough& platform, char letter) {
    char name[8];
    std::snprintf(name, sizeof name, "\\\\.\\%c:", letter);
    OsHandle handle = platform.open_device(name, OpenAccess::read_write, OpenSharing::read_write);
    if (handle == 0) handle = platform.open_device(name, OpenAccess::read, OpenSharing::read);
    return handle;
}

OsHandle open_physical_drive(NtPassThrough& platform, int number) {
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\PHYSICALDRIVE%d", number);
    OsHandle handle = platform.open_device(name, OpenAccess::read_write, OpenSharing::read_write);
    if (handle == 0) handle = platform.open_device(name, OpenAccess::read_write, OpenSharing::read_write);
    return handle;
}

// Scanners, tapes and SCSI port devices: read/write first, then read-only twice.
OsHandle open_other_device(NtPassThrough& platform, const char* name) {
    OsHandle handle = platform.open_device(name, OpenAccess::read_write, OpenSharing::read_write);
    for (int attempt = 0; handle == 0 && attempt < 2; ++attempt) {
        handle = platform.open_device(name, OpenAccess::read, OpenSharing::read);
    }
    return handle;
}

// --- Questions asked of an open device -------------------------------------------------------

// The peripheral device type from a standard INQUIRY through pass-through, or PROBE_FAILED.
// The SCSI status is not looked at: a device that rejects INQUIRY probes as type 0.
std::uint8_t probe_device_type(NtPassThrough& platform, OsHandle handle) {
    std::uint8_t data[80] = {};
    PassThroughRequest request;
    request.cdb_length = 6;
    request.sense_info_length = PROBE_SENSE_LENGTH;
    request.data_in = 1;
    request.data_transfer_length = 56;
    request.timeout_seconds = PASS_THROUGH_TIMEOUT_SECONDS;
    request.data_buffer = data;
    const std::uint8_t inquiry[6] = {0x12, 0x00, 0x00, 0x00, 0x38, 0x00};
    std::memcpy(request.cdb, inquiry, sizeof inquiry);
    if (!platform.pass_through_direct(handle, request)) return PROBE_FAILED;
    return data[0] & 0x1F;
}

bool get_scsi_address(NtPassThrough& platform, OsHandle handle, ScsiAddress& address) {
    std::uint8_t answer[SCSI_ADDRESS_SIZE] = {};
    std::uint32_t returned = 0;
    if (!platform.io_control(handle, IOCTL_SCSI_GET_ADDRESS, answer, sizeof answer, &returned)) {
        return false;
    }
    if (returned < SCSI_ADDRESS_SIZE) return false;  // not a whole address
    address = {answer[4], answer[5], answer[6], answer[7]};
    return true;
}

// Reads the port's inquiry answer into port_inquiry_buffer, growing the read until it fits.
// Returns the number of bytes the platform filled, or 0 when the port could not answer.
std::size_t read_port_inquiry_data(NtPassThrough& platform, OsHandle handle) {
    for (std::uint32_t size = PORT_INQUIRY_FIRST_SIZE; size <= PORT_INQUIRY_MAX_SIZE; size *= 2) {
        std::memset(port_inquiry_buffer, 0, size);
        std::uint32_t returned = 0;
        if (platform.io_control(handle, IOCTL_SCSI_GET_INQUIRY_DATA, port_inquiry_buffer, size,
                                &returned)) {
            return std::min<std::size_t>(returned, size);
        }
        const std::uint32_t error = platform.last_error();
        if (error != OS_ERROR_INSUFFICIENT_BUFFER && error != OS_ERROR_MORE_DATA) return 0;
    }
    return 0;
}

// --- Registration --------------------------------------------------------------------------

// Stores a handle at an address if the slot is free; false when it is not (or has no slot).
bool store_in_slot(std::uint32_t host, std::uint32_t target, std::uint32_t lun, OsHandle handle,
                   std::uint32_t path_id) {
    if (!in_table(host, target, lun)) return false;
    DeviceSlot& slot = slot_at(host, target, lun);
    if (slot.handle != 0) return false;
    slot = {handle, path_id};
    return true;
}

// Registers one device name of passes 1 to 4 when it reports its address.
void register_if_addressed(NtPassThrough& platform, OsHandle handle) {
    ScsiAddress address{};
    if (get_scsi_address(platform, handle, address)) {
        register_addressed_device(handle, address, close_nt_handle);
    } else {
        platform.close_handle(handle);
    }
}

// A CD/DVD device counts only behind a drive letter that the platform calls a CD-ROM drive.
bool passes_cdrom_rule(NtPassThrough& platform, char letter, std::uint8_t device_type) {
    if (device_type != PERIPHERAL_CDROM) return true;
    char root[4];
    std::snprintf(root, sizeof root, "%c:", letter);
    return platform.drive_type(root) == DRIVE_TYPE_CDROM;
}

bool drive_letter_present(std::uint32_t mask, char letter) {
    return (mask >> static_cast<unsigned>(letter - 'a') & 1u) != 0;
}

// --- The enumeration passes ----------------------------------------------------------------

void pass_drive_letters(NtPassThrough& platform) {
    const std::uint32_t mask = platform.logical_drives();
    for (char letter = 'c'; letter <= 'z'; ++letter) {
        if (!drive_letter_present(mask, letter)) continue;
        const OsHandle handle = open_drive_letter(platform, letter);
        if (handle == 0) continue;
        const std::uint8_t type = probe_device_type(platform, handle);
        if (!passes_cdrom_rule(platform, letter, type)) {
            platform.close_handle(handle);
            continue;
        }
        register_if_addressed(platform, handle);
    }
}

void pass_physical_drives(NtPassThrough& platform) {
    for (int number = 0; number < MAX_PHYSICAL_DRIVES; ++number) {
        const OsHandle handle = open_physical_drive(platform, number);
        if (handle == 0) {
            if (number <= PHYSICAL_DRIVE_GAPS_UP_TO) continue;
            return;
        }
        if (probe_device_type(platform, handle) != PERIPHERAL_DIRECT_ACCESS) {
            platform.close_handle(handle);
            continue;
        }
        register_if_addressed(platform, handle);
    }
}

void pass_named_devices(NtPassThrough& platform, const char* prefix) {
    for (int number = 0; number < SCANNER_AND_TAPE_NUMBERS; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "\\\\.\\%s%d", prefix, number);
        const OsHandle handle = open_other_device(platform, name);
        if (handle == 0) continue;
        register_if_addressed(platform, handle);
    }
}

// Devices on the first bus of each port that no class driver claimed; each gets a handle of
// its own to the port device.
void pass_scsi_ports(NtPassThrough& platform) {
    for (int port = 0; port < SCSI_PORT_NUMBERS; ++port) {
        char name[16];
        std::snprintf(name, sizeof name, "\\\\.\\Scsi%d:", port);
        const auto port_number = static_cast<std::uint32_t>(port);
        for (std::uint32_t n = 0; n < MAX_PORT_ENTRIES; ++n) {
            const OsHandle handle = open_other_device(platform, name);
            if (handle == 0) break;
            const std::size_t filled = read_port_inquiry_data(platform, handle);
            if (filled == 0) {
                platform.close_handle(handle);
                break;
            }
            PortDeviceAddress address{};
            const std::uint8_t answer = pick_port_device(port_inquiry_buffer, filled, n, &address);
            if (answer == PORT_DEVICE_END) {
                platform.close_handle(handle);
                break;
            }
            if (answer == PORT_DEVICE_SKIP ||
                !store_in_slot(port_number, address.target_id, address.lun, handle,
                               address.path_id)) {
                platform.close_handle(handle);
            }
            set_host_present(port_number, port);
        }
    }
}

// Stores a device without a SCSI address at the first free target of the unaddressed host.
bool store_unaddressed(std::int32_t host, OsHandle handle) {
    if (host < 0 || static_cast<std::size_t>(host) >= MAX_HOSTS) return false;
    const auto host_number = static_cast<std::uint32_t>(host);
    for (std::uint32_t target = 0; target < MAX_TARGETS; ++target) {
        if (store_in_slot(host_number, target, 0, handle, 0)) {
            set_host_present(host_number, NO_PORT);
            return true;
        }
    }
    return false;
}

void pass_unaddressed_disks(NtPassThrough& platform, std::int32_t unaddressed_host) {
    for (int number = 0; number < MAX_PHYSICAL_DRIVES; ++number) {
        const OsHandle handle = open_physical_drive(platform, number);
        if (handle == 0) {
            if (number <= PHYSICAL_DRIVE_GAPS_UP_TO) continue;
            return;
        }
        ScsiAddress address{};
        const bool unaddressed = probe_device_type(platform, handle) == PERIPHERAL_DIRECT_ACCESS &&
                                 !get_scsi_address(platform, handle, address);
        if (!unaddressed || !store_unaddressed(unaddressed_host, handle)) {
            platform.close_handle(handle);
        }
    }
}

void pass_unaddressed_drives(NtPassThrough& platform, std::int32_t unaddressed_host) {
    const std::uint32_t mask = platform.logical_drives();
    for (char letter = 'c'; letter <= 'z'; ++letter) {
        if (!drive_letter_present(mask, letter)) continue;
        const OsHandle handle = open_drive_letter(platform, letter);
        if (handle == 0) continue;
        const std::uint8_t type = probe_device_type(platform, handle);
        ScsiAddress address{};
        const bool unaddressed = passes_cdrom_rule(platform, letter, type) &&
                                 !get_scsi_address(platform, handle, address) &&
                                 type != PERIPHERAL_DIRECT_ACCESS;
        if (!unaddressed || !store_unaddressed(unaddressed_host, handle)) {
            platform.close_handle(handle);
        }
    }
}

// --- Request helpers -------------------------------------------------------------------------

// The part of the sense area a made-up sense would cover.
std::size_t made_up_sense_length(const SRB_ExecSCSICmd& srb) {
    return std::min<std::size_t>(srb.SRB_SenseLen, SENSE_AREA_SIZE);
}

// Whether the caller's sense area may be written (the IsBadWritePtr check).
bool sense_area_writable(NtPassThrough& platform, SRB_ExecSCSICmd& srb) {
    const std::size_t length = made_up_sense_length(srb);
    return length == 0 ||
           platform.is_writable(srb.SenseArea, static_cast<std::uint32_t>(length));
}

}  // namespace

// --- State -------------------------------------------------------------------------------------

DeviceSlot device_slot(std::uint32_t host, std::uint32_t target, std::uint32_t lun) {
    if (!in_table(host, target, lun)) return {0, 0};
    return slot_at(host, target, lun);
}

bool host_present(std::uint32_t host) { return host < MAX_HOSTS && host_flags[host]; }

std::int32_t count_hosts() {
    for (std::size_t host = MAX_HOSTS; host > 0; --host) {
        if (host_flags[host - 1]) return static_cast<std::int32_t>(host);
    }
    return 0;
}

std::int32_t host_count() { return hosts_found; }

std::int32_t record_host_count() {
    hosts_found = count_hosts();
    return hosts_found;
}

std::int32_t host_port(std::uint32_t host) { return host < MAX_HOSTS ? host_ports[host] : -1; }

void clear_host_flags() {
    std::fill(std::begin(host_flags), std::end(host_flags), false);
    std::fill(std::begin(host_ports), std::end(host_ports), -1);
    hosts_found = 0;
}

void clear_device_table() {
    std::fill(std::begin(device_table), std::end(device_table), DeviceSlot{0, 0});
    extra_bus_entries = 0;
}

std::size_t extra_bus_count() { return extra_bus_entries; }

// --- Registration, shared by every provider --------------------------------------------------

void register_addressed_device(OsHandle handle, const ScsiAddress& address, CloseDeviceFn close) {
    // An address the table cannot hold is treated as no device at all.
    if (!in_table(address.port, address.target_id, address.lun)) {
        close(handle);
        return;
    }
    bool kept;
    if (address.path_id != 0) {
        kept = insert_extra_bus_device(
            {address.port, address.path_id, address.target_id, address.lun, handle});
    } else {
        kept = store_in_slot(address.port, address.target_id, address.lun, handle, 0);
    }
    set_host_present(address.port, address.port);
    if (!kept) close(handle);
}

void assign_secondary_buses(CloseDeviceFn close) {
    std::int32_t host = -1;
    for (std::size_t i = 0; i < extra_bus_entries; ++i) {
        const ExtraBusDevice& device = extra_bus_list[i];
        const bool new_bus = i == 0 || device.port != extra_bus_list[i - 1].port ||
                             device.path_id != extra_bus_list[i - 1].path_id;
        if (new_bus) host = count_hosts();
        const auto host_number = static_cast<std::uint32_t>(host);
        if (store_in_slot(host_number, device.target_id, device.lun, device.handle,
                          device.path_id)) {
            set_host_present(host_number, device.port);
        } else {
            close(device.handle);  // more host numbers than the table holds
        }
    }
    extra_bus_entries = 0;
}

void close_device_table(CloseDeviceFn close) {
    for (DeviceSlot& slot : device_table) {
        if (slot.handle != 0 && close != nullptr) close(slot.handle);
        slot = {0, 0};
    }
}

// --- Enumeration ---------------------------------------------------------------------------

bool insert_extra_bus_device(const ExtraBusDevice& device) {
    if (extra_bus_entries >= EXTRA_BUS_LIST_CAPACITY) return false;
    const auto key = [](const ExtraBusDevice& entry) {
        return static_cast<std::uint32_t>(entry.port) << 24 |
               static_cast<std::uint32_t>(entry.path_id) << 16 |
               static_cast<std::uint32_t>(entry.target_id) << 8 | entry.lun;
    };
    const std::uint32_t new_key = key(device);
    std::size_t position = 0;
    while (position < extra_bus_entries && key(extra_bus_list[position]) < new_key) ++position;
    if (position < extra_bus_entries && key(extra_bus_list[position]) == new_key) return false;
    std::copy_backward(extra_bus_list + position, extra_bus_list + extra_bus_entries,
                       extra_bus_list + extra_bus_entries + 1);
    extra_bus_list[position] = device;
    ++extra_bus_entries;
    return true;
}

std::uint8_t pick_port_device(const std::uint8_t* buffer, std::size_t filled, std::uint32_t n,
                              PortDeviceAddress* address) {
    // The number of buses and the first bus's entry offset must both have been written.
    if (filled < BUS_INFO_FIRST_INQUIRY_OFFSET + 4 || buffer[0] == 0) return PORT_DEVICE_END;
    const std::uint32_t first = read_u32_le(buffer + BUS_INFO_FIRST_INQUIRY_OFFSET);

    // An entry counts only when its header and its INQUIRY data lie wholly inside the part of
    // the buffer the platform filled; anything else ends the chain.
    const auto entry_fits = [&](std::uint32_t offset) {
        if (offset > filled || filled - offset < ENTRY_INQUIRY_DATA) return false;
        const std::uint32_t inquiry_length =
            std::max<std::uint32_t>(1, read_u32_le(buffer + offset + ENTRY_INQUIRY_LENGTH));
        return inquiry_length <= filled - offset - ENTRY_INQUIRY_DATA;
    };

    std::uint32_t offset = first;
    for (std::uint32_t step = 0; step < n; ++step) {
        if (offset == 0 || !entry_fits(offset)) return PORT_DEVICE_END;
        offset = read_u32_le(buffer + offset + ENTRY_NEXT_OFFSET);
        if (offset == 0) return PORT_DEVICE_END;
    }
    if (first == 0) return PORT_DEVICE_SKIP;
    if (!entry_fits(offset)) return PORT_DEVICE_END;
    const std::uint8_t* entry = buffer + offset;
    if (entry[ENTRY_CLAIMED] != 0) return PORT_DEVICE_SKIP;
    if (address != nullptr) {
        *address = {entry[ENTRY_PATH_ID], entry[ENTRY_TARGET_ID], entry[ENTRY_LUN]};
    }
    return entry[ENTRY_INQUIRY_DATA];
}

std::int32_t enumerate_devices() {
    extra_bus_entries = 0;
    NtPassThrough* platform = nt();
    if (platform == nullptr) {
        hosts_found = count_hosts();
        return hosts_found;
    }
    // Opening SCSI ports may need this privilege; without it enumeration still goes on.
    platform->enable_privilege("SeLoadDriverPrivilege");

    pass_drive_letters(*platform);
    pass_physical_drives(*platform);
    pass_named_devices(*platform, "SCANNER");
    pass_named_devices(*platform, "TAPE");
    pass_scsi_ports(*platform);
    assign_secondary_buses(close_nt_handle);
    const std::int32_t unaddressed_host = count_hosts();
    pass_unaddressed_disks(*platform, unaddressed_host);
    pass_unaddressed_drives(*platform, unaddressed_host);

    hosts_found = count_hosts();
    return hosts_found;
}

// --- Requests --------------------------------------------------------------------------------

std::uint8_t emulate_ha_inquiry(SRB_HAInquiry& srb) {
    // The port driver's name from the registry's SCSI device map; empty when it has none.
    // A secondary bus is named after the port it belongs to, the unaddressed-device host
    // after none; a number the enumeration did not give out is asked of the registry as it is.
    const std::int32_t port = host_port(srb.SRB_HaId);
    const std::uint32_t key_port = port >= 0 ? static_cast<std::uint32_t>(port) : srb.SRB_HaId;
    char key[64];
    std::snprintf(key, sizeof key, "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port %x", key_port);
    std::uint8_t driver[256] = {};  // room for the longest value and its terminating zero
    std::uint32_t length = 0;
    NtPassThrough* platform = nt();
    if (port == NO_PORT || platform == nullptr ||
        !platform->read_registry_value(key, "Driver", driver, sizeof driver - 1, &length)) {
        length = 0;
    }
    return fill_ha_inquiry(srb, driver, std::min<std::size_t>(length, sizeof driver - 1));
}

std::uint8_t fill_ha_inquiry(SRB_HAInquiry& srb, const std::uint8_t* driver, std::size_t length) {
    srb.HA_Count = static_cast<std::uint8_t>(hosts_found & 0xFF);
    srb.HA_SCSI_ID = 7;
    static constexpr char manager_id[] = "ASPI for WIN32";  // 14 characters and the zero
    std::memcpy(srb.HA_ManagerId, manager_id, sizeof manager_id);
    // A name of 16 characters fills the field without its zero; a longer one is cut there.
    const std::size_t looked_at = std::min(length, sizeof srb.HA_Identifier);
    const auto name_length =
        static_cast<std::size_t>(std::find(driver, driver + looked_at, 0) - driver);
    std::memcpy(srb.HA_Identifier, driver, name_length);
    if (name_length < sizeof srb.HA_Identifier) srb.HA_Identifier[name_length] = 0;
    static constexpr std::uint8_t unique[16] = {0x07, 0x00, 0x00, 0x08, 0x00, 0x00, 0x04, 0x00};
    std::memcpy(srb.HA_Unique, unique, sizeof unique);
    return SS_COMP;
}

bool prepare_pass_through(const SRB_ExecSCSICmd& srb, const DeviceSlot& slot,
                          PassThroughRequest& request) {
    // The platform takes at most 16 command bytes; a longer command is refused as it would be.
    if (srb.SRB_CDBLen > CDB_MAX_SIZE) return false;
    request = PassThroughRequest{};
    request.path_id = static_cast<std::uint8_t>(slot.path_id);
    request.target_id = srb.SRB_Target;
    request.lun = srb.SRB_Lun;
    request.cdb_length = srb.SRB_CDBLen;
    request.sense_info_length =
        static_cast<std::uint8_t>(std::min<std::size_t>(srb.SRB_SenseLen, PLATFORM_SENSE_SIZE));
    request.data_in = (srb.SRB_Flags & SRB_DIR_IN) != 0 ? 1 : 0;
    request.data_transfer_length = srb.SRB_BufLen;
    request.timeout_seconds = PASS_THROUGH_TIMEOUT_SECONDS;
    request.data_buffer = srb.SRB_BufPointer;
    std::memcpy(request.cdb, srb.CDBByte, srb.SRB_CDBLen);
    return true;
}

std::uint8_t complete_pass_through(SRB_ExecSCSICmd& srb, const PassThroughRequest& request) {
    srb.SRB_TargStat = request.scsi_status;
    srb.SRB_HaStat = 0;
    if (request.scsi_status == SCSI_STATUS_GOOD) return SS_COMP;
    if (request.scsi_status == SCSI_STATUS_CHECK_CONDITION) {
        const std::size_t length = std::min<std::size_t>(
            {std::size_t{srb.SRB_SenseLen}, SENSE_AREA_SIZE, PLATFORM_SENSE_SIZE});
        std::memcpy(srb.SenseArea, request.sense, length);
    }
    return SS_ERR;
}

std::uint8_t fail_pass_through(SRB_ExecSCSICmd& srb, bool invalid_parameter, bool sense_writable) {
    // Sense data made up for a request the platform did not carry out: fixed format, current
    // error, with the key. Never more than the block's sense area.
    const std::size_t length = made_up_sense_length(srb);
    if (length > 0 && sense_writable) {
        std::memset(srb.SenseArea, 0, length);
        srb.SenseArea[0] = 0x70;
        if (length > 2) {
            srb.SenseArea[2] =
                invalid_parameter ? SENSE_KEY_ILLEGAL_REQUEST : SENSE_KEY_HARDWARE_ERROR;
        }
    }
    return invalid_parameter ? SS_BUFFER_TOO_BIG : SS_ERR;
}

std::uint8_t emulate_exec_scsi(SRB_ExecSCSICmd& srb) {
    NtPassThrough* platform = nt();
    const DeviceSlot slot = device_slot(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
    if (platform == nullptr || slot.handle == 0) return SS_NO_DEVICE;

    PassThroughRequest request;
    if (!prepare_pass_through(srb, slot, request)) {
        return fail_pass_through(srb, true, sense_area_writable(*platform, srb));
    }
    if (!platform->pass_through_direct(slot.handle, request)) {
        const bool invalid_parameter = platform->last_error() == OS_ERROR_INVALID_PARAMETER;
        return fail_pass_through(srb, invalid_parameter, sense_area_writable(*platform, srb));
    }
    return complete_pass_through(srb, request);
}

void close_all_devices() { close_device_table(close_nt_handle); }

}  // namespace korvel
