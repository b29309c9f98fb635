// A simulated Windows NT device namespace behind the NtPassThrough seam: drive letters, class
// device names ("\\.\PHYSICALDRIVE0", "\\.\TAPE0", "\\.\SCANNER0", "\\.\c:"), SCSI port
// devices ("\\.\Scsi0:") with their buses, the three SCSI I/O controls, the SCSI device map in
// the registry and the token privilege.
//
// Device names are matched exactly as written. Every open gets a fresh handle value that is
// never reused during the object's life, and every open and close is recorded, so tests can
// check that handles are closed exactly once and none leak. Failures set last_error() to the
// code Windows gives in the same case.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform_seam.h"
#include "sim_adapter_bus_info.h"
#include "sim_device.h"

namespace korvel {

// GetLastError values the simulation produces.
inline constexpr std::uint32_t SIM_ERROR_INVALID_FUNCTION = 1;
inline constexpr std::uint32_t SIM_ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t SIM_ERROR_ACCESS_DENIED = 5;
inline constexpr std::uint32_t SIM_ERROR_INVALID_HANDLE = 6;
inline constexpr std::uint32_t SIM_ERROR_SEM_TIMEOUT = 121;
inline constexpr std::uint32_t SIM_ERROR_NOT_ALL_ASSIGNED = 1300;

/// GetDriveTypeA for a root that does not exist.
inline constexpr std::uint32_t DRIVE_TYPE_NO_ROOT_DIR = 1;

/// No limit on a port's transfer length.
inline constexpr std::uint32_t SIM_NO_TRANSFER_LIMIT = 0xFFFFFFFF;

/// One CreateFileA call.
struct SimOpenRecord {
    std::string name;
    OpenAccess access = OpenAccess::read_write;
    OpenSharing sharing = OpenSharing::read_write;
    OsHandle handle = 0;      ///< 0 when the open failed
    std::uint32_t error = 0;  ///< the failure's code
};

/// A device given to lay_out_port: where it sits on the port, and whether a disk, optical or
/// CD/DVD device gets a drive letter.
struct SimPortDevice {
    std::uint8_t path_id = 0;
    std::uint8_t target_id = 0;
    std::uint8_t lun = 0;
    std::shared_ptr<SimDevice> device;
    bool drive_letter = true;
};

/// The names lay_out_port gave one device.
struct SimClassNames {
    std::string device_name;  ///< "\\.\PHYSICALDRIVEn", "\\.\TAPEn", "\\.\SCANNERn" or empty
    std::string drive_name;   ///< "\\.\x:" or empty
    bool claimed = false;     ///< false: reachable only through the port device
};

class SimNtSystem final : public NtPassThrough {
public:
    SimNtSystem() = default;
    ~SimNtSystem() override = default;
    SimNtSystem(const SimNtSystem&) = delete;
    SimNtSystem& operator=(const SimNtSystem&) = delete;

    // --- Drive letters and class device names --------------------------------------------

    /// The device name of a drive letter as it is opened: "\\.\c:" (letter in lower case).
    static std::string drive_device_name(char letter);
    /// The device name of a SCSI port: "\\.\Scsi0:".
    static std::string port_device_name(std::uint8_t port);
    /// Adds a drive letter whose volume has no SCSI device behind it: its name opens, but
    /// pass-through and IOCTL_SCSI_GET_ADDRESS fail with ERROR_INVALID_FUNCTION.
    void add_drive_letter(char letter, std::uint32_t drive_type);
    /// Adds a drive letter whose volume lives on device (at address when given).
    void add_drive_letter(char letter, std::uint32_t drive_type, std::shared_ptr<SimDevice> device,
                          std::optional<SimAddress> address);
    /// Adds a class device name such as "\\.\PHYSICALDRIVE0" for device; address is what
    /// IOCTL_SCSI_GET_ADDRESS answers (none: that call fails with ERROR_INVALID_FUNCTION).
    void add_device_name(const std::string& name, std::shared_ptr<SimDevice> device,
                         std::optional<SimAddress> address);
    /// Removes a name (and the drive letter it stands for); open handles keep working.
    void remove_device_name(const std::string& name);
    /// The first letter from C: on that is not in use; 0 when none is left.
    char next_free_drive_letter() const;
    /// The first n for which prefix + n is not a name, e.g. for "\\.\PHYSICALDRIVE".
    std::uint32_t next_free_number(std::string_view prefix) const;

    // --- SCSI ports --------------------------------------------------------------------------

    /// Adds a port (or grows it to bus_count buses) with its "\\.\Scsin:" name; a non-empty
    /// driver also goes into the SCSI device map of the registry.
    void add_port(std::uint8_t port, std::uint8_t bus_count = 1, std::string_view driver = {});
    /// Puts device on the port's bus at address (creating port and bus as needed).
    void attach(const SimAddress& address, std::shared_ptr<SimDevice> device, bool claimed);
    /// Largest transfer the port takes; pass-through above it fails with
    /// ERROR_INVALID_PARAMETER. Unlimited until set.
    void set_max_transfer(std::uint8_t port, std::uint32_t bytes);
    /// Makes IOCTL_SCSI_GET_INQUIRY_DATA on the port answer these bytes (as many as fit the
    /// caller's buffer) and report `returned`, whatever the buses hold.
    void set_raw_inquiry_data(std::uint8_t port, std::vector<std::uint8_t> bytes,
                              std::uint32_t returned);
    /// The IOCTL_SCSI_GET_INQUIRY_DATA answer the port gives now (empty for no port).
    std::vector<std::uint8_t> adapter_bus_info(std::uint8_t port) const;
    /// Lays devices out on a port as the Windows class drivers do: disks (type 0) become
    /// PHYSICALDRIVEn with a fixed drive letter, optical memory (7) PHYSICALDRIVEn with a
    /// removable drive letter, CD/DVD (5) a CD-ROM drive letter, tapes (1) TAPEn, scanners
    /// (6) SCANNERn, each with its SCSI address and claimed; every other type stays
    /// unclaimed on the port. Numbers and letters are the next free ones (letters from C:).
    /// The port is created as needed and its driver name set. Returns the names per device.
    std::vector<SimClassNames> lay_out_port(std::uint8_t port, std::string_view driver,
                                            const std::vector<SimPortDevice>& devices);

    // --- Fault injection -------------------------------------------------------------------

    /// Makes opening name fail with error (only for that access mode when given), for the
    /// next `count` attempts (SIM_ALWAYS: every one).
    void fail_open(const std::string& name, std::uint32_t error = SIM_ERROR_ACCESS_DENIED,
                   std::optional<OpenAccess> only_access = std::nullopt,
                   std::uint32_t count = SIM_ALWAYS);
    /// Makes the I/O control `code` (pass-through included) on handles opened by name fail
    /// with error, for the next `count` calls.
    void fail_io_control(const std::string& name, std::uint32_t code, std::uint32_t error,
                         std::uint32_t count = SIM_ALWAYS);
    /// Pass-through needs a handle opened for reading and writing, as on Windows (on by
    /// default); off lets a read-only handle through.
    void set_pass_through_needs_write_access(bool needed);
    void set_writable(bool writable);
    /// The outcome of enable_privilege; a refusal leaves error in last_error().
    void set_privilege_result(bool granted, std::uint32_t error = SIM_ERROR_NOT_ALL_ASSIGNED);

    // --- Registry (below HKEY_LOCAL_MACHINE; key and value names compare without case) ------

    /// The SCSI device map key of a port: "HARDWARE\DEVICEMAP\Scsi\Scsi Port " + hex number.
    static std::string port_registry_key(std::uint8_t port);
    /// Stores a value's raw bytes (no terminator added).
    void set_registry_value(const std::string& key, const std::string& value,
                            std::vector<std::uint8_t> bytes);
    /// Stores a REG_SZ value: the text and its terminating zero.
    void set_registry_string(const std::string& key, const std::string& value,
                             std::string_view text);
    /// Sets the "Driver" value of a port's device map key.
    void set_port_driver(std::uint8_t port, std::string_view driver);

    // --- What happened -------------------------------------------------------------------

    const std::vector<SimOpenRecord>& opens() const { return opens_; }
    /// Handles opened and not yet closed.
    std::size_t open_handles() const;
    /// The names the still-open handles were opened by.
    std::vector<std::string> open_handle_names() const;
    /// How often close_handle was called with this handle (0 for one never handed out).
    std::uint32_t close_count(OsHandle handle) const;
    /// close_handle calls on a handle that was already closed.
    std::uint32_t double_closes() const { return double_closes_; }
    /// close_handle calls on a value never handed out (0 included).
    std::uint32_t unknown_closes() const { return unknown_closes_; }
    /// The name a handle was opened by; empty for an unknown handle.
    std::string handle_name(OsHandle handle) const;
    /// Privilege names enable_privilege was asked for, in order.
    const std::vector<std::string>& privileges_asked() const { return privileges_; }
    /// IOCTL_SCSI_PASS_THROUGH_DIRECT calls, failed ones included.
    std::uint32_t pass_through_count() const { return pass_through_calls_; }

    // --- NtPassThrough -------------------------------------------------------------------

    std::uint32_t logical_drives() override;
    std::uint32_t drive_type(const char* root) override;
    OsHandle open_device(const char* name, OpenAccess access, OpenSharing sharing) override;
    void close_handle(OsHandle handle) override;
    bool io_control(OsHandle handle, std::uint32_t code, void* out, std::uint32_t out_size,
                    std::uint32_t* returned) override;
    bool pass_through_direct(OsHandle handle, PassThroughRequest& request) override;
    std::uint32_t last_error() override { return last_error_; }
    bool is_writable(void* address, std::uint32_t size) override;
    bool read_registry_value(const char* key, const char* value, std::uint8_t* buffer,
                             std::uint32_t capacity, std::uint32_t* length) override;
    bool enable_privilege(const char* name) override;

private:
    enum class NameKind : std::uint8_t { volume, class_device, port };
    struct Name {
        NameKind kind = NameKind::class_device;
        std::shared_ptr<SimDevice> device;  ///< volumes and class devices
        std::optional<SimAddress> address;  ///< class devices that know their address
        std::uint8_t port = 0;              ///< port devices
    };
    struct Port {
        std::vector<SimBus> buses;
        std::uint32_t max_transfer = SIM_NO_TRANSFER_LIMIT;
        bool raw_answer = false;
        std::vector<std::uint8_t> raw_bytes;
        std::uint32_t raw_returned = 0;
    };
    struct Handle {
        std::shared_ptr<const Name> target;
        std::string name;
        OpenAccess access = OpenAccess::read_write;
        bool open = true;
        std::uint32_t closes = 0;
    };
    struct OpenFault {
        std::string name;
        std::uint32_t error;
        std::optional<OpenAccess> only_access;
        std::uint32_t remaining;
    };
    struct IoControlFault {
        std::string name;
        std::uint32_t code;
        std::uint32_t error;
        std::uint32_t remaining;
    };

    bool fail(std::uint32_t error);
    const Handle* find_open_handle(OsHandle handle) const;
    std::optional<std::uint32_t> take_io_control_fault(const std::string& name, std::uint32_t code);
    bool get_address(const Name& target, void* out, std::uint32_t out_size,
                     std::uint32_t* returned);
    bool get_inquiry_data(const Name& target, void* out, std::uint32_t out_size,
                          std::uint32_t* returned);
    Port& port_at(std::uint8_t port);
    static std::string lower(std::string_view text);

    std::map<std::string, std::shared_ptr<Name>> names_;
    std::map<char, std::uint32_t> drive_letters_;  ///< lower-case letter -> drive type
    std::map<std::uint8_t, Port> ports_;
    std::map<std::string, std::map<std::string, std::vector<std::uint8_t>>> registry_;

    std::map<OsHandle, Handle> handles_;
    OsHandle next_handle_ = 0x100;
    std::vector<SimOpenRecord> opens_;
    std::uint32_t double_closes_ = 0;
    std::uint32_t unknown_closes_ = 0;

    std::vector<OpenFault> open_faults_;
    std::vector<IoControlFault> io_control_faults_;
    bool pass_through_needs_write_ = true;
    bool writable_ = true;
    bool privilege_granted_ = true;
    std::uint32_t privilege_error_ = SIM_ERROR_NOT_ALL_ASSIGNED;
    std::vector<std::string> privileges_;
    std::uint32_t pass_through_calls_ = 0;
    std::uint32_t last_error_ = 0;
};

}  // namespace korvel
