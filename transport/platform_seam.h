// The operating-system seams of the transport.
//
// The transport reaches the platform only through these interfaces. os/ implements them over
// Win32 or Linux; sim/ implements them over a simulated system and simulated devices. The
// program installs one Platform at start (install_platform) before the first transport call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvel {

/// An open platform handle (file, device, library or registry key); 0 means "none".
using OsHandle = std::uintptr_t;

enum class PlatformFamily : std::uint8_t { windows_9x, windows_nt, linux_kernel };

/// Who the platform is: its family and its system default locale.
class PlatformIdentity {
public:
    virtual ~PlatformIdentity() = default;
    /// The platform family (on Windows from the top bit of GetVersion).
    virtual PlatformFamily family() = 0;
    /// The system default locale identifier (Windows LCID; its low 16 bits are the language ID).
    virtual std::uint32_t system_default_lcid() = 0;
};

/// Entry points of an ASPI for Win32 library, with the library's own calling convention.
#if defined(_WIN32) && !defined(_WIN64)
#define KORVEL_ASPI_CALL __cdecl
#else
#define KORVEL_ASPI_CALL
#endif
using SendAspiCommandFn = std::uint32_t(KORVEL_ASPI_CALL*)(void* srb);
using GetAspiSupportInfoFn = std::uint32_t(KORVEL_ASPI_CALL*)();

/// Run-time loading of the ASPI library (LoadLibraryA / GetProcAddress / FreeLibrary).
class AspiLibraryLoader {
public:
    virtual ~AspiLibraryLoader() = default;
    /// Loads the named library; the result counts as loaded only when it is above 32.
    virtual OsHandle load_library(const char* name) = 0;
    /// Looks up an exported entry point by name; nullptr when the library lacks it.
    virtual void* find_entry(OsHandle library, const char* name) = 0;
    /// Frees a library loaded by load_library.
    virtual void free_library(OsHandle library) = 0;
};

/// Values of GetDriveTypeA that the enumeration tells apart.
inline constexpr std::uint32_t DRIVE_TYPE_UNKNOWN = 0;
inline constexpr std::uint32_t DRIVE_TYPE_REMOVABLE = 2;
inline constexpr std::uint32_t DRIVE_TYPE_FIXED = 3;
inline constexpr std::uint32_t DRIVE_TYPE_CDROM = 5;

/// Error codes the transport tells apart (GetLastError values).
inline constexpr std::uint32_t OS_ERROR_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t OS_ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr std::uint32_t OS_ERROR_MORE_DATA = 234;

/// I/O control codes of the SCSI port driver (published values).
inline constexpr std::uint32_t IOCTL_SCSI_GET_INQUIRY_DATA = 0x4100C;
inline constexpr std::uint32_t IOCTL_SCSI_GET_ADDRESS = 0x41018;
inline constexpr std::uint32_t IOCTL_SCSI_PASS_THROUGH_DIRECT = 0x4D014;

enum class OpenAccess : std::uint8_t { read_write, read };
enum class OpenSharing : std::uint8_t { read_write, read };

/// One pass-through request in platform-neutral form. The platform copies it into its native
/// SCSI_PASS_THROUGH_DIRECT record (whose size differs between 32- and 64-bit Windows) and
/// writes scsi_status and sense back.
struct PassThroughRequest {
    std::uint8_t path_id = 0;
    std::uint8_t target_id = 0;
    std::uint8_t lun = 0;
    std::uint8_t cdb_length = 0;
    std::uint8_t sense_info_length = 0;
    std::uint8_t data_in = 0;  ///< 1 = data from the device, 0 = data to it (or none)
    std::uint32_t data_transfer_length = 0;  ///< in only: the transport keeps no residual
    std::uint32_t timeout_seconds = 0;
    void* data_buffer = nullptr;  ///< the caller's buffer, used directly
    std::uint8_t cdb[16] = {};
    std::uint8_t scsi_status = 0;  ///< out: the device's SCSI status byte
    std::uint8_t sense[32] = {};   ///< out: written by the platform
};

/// The NT family's SCSI pass-through service and what the enumeration needs around it.
class NtPassThrough {
public:
    virtual ~NtPassThrough() = default;
    /// Bit mask of existing drive letters, bit 0 = A: (GetLogicalDrives).
    virtual std::uint32_t logical_drives() = 0;
    /// Drive type of a root such as "d:" (GetDriveTypeA).
    virtual std::uint32_t drive_type(const char* root) = 0;
    /// Opens an existing device by name such as "\\.\Scsi0:" (CreateFileA); 0 on failure.
    virtual OsHandle open_device(const char* name, OpenAccess access, OpenSharing sharing) = 0;
    /// Closes a handle from open_device (CloseHandle).
    virtual void close_handle(OsHandle handle) = 0;
    /// A synchronous DeviceIoControl without input; on success *returned is the number of
    /// bytes the platform wrote into out.
    virtual bool io_control(OsHandle handle, std::uint32_t code, void* out, std::uint32_t out_size,
                            std::uint32_t* returned) = 0;
    /// IOCTL_SCSI_PASS_THROUGH_DIRECT on the handle.
    virtual bool pass_through_direct(OsHandle handle, PassThroughRequest& request) = 0;
    /// The error code of the last failed call on this thread (GetLastError).
    virtual std::uint32_t last_error() = 0;
    /// Whether size bytes at address may be written (the IsBadWritePtr check, inverted).
    virtual bool is_writable(void* address, std::uint32_t size) = 0;
    /// Reads a value below HKEY_LOCAL_MACHINE into buffer (at most capacity bytes, whatever its
    /// type); *length is the number of bytes read. False when the key or value is missing.
    virtual bool read_registry_value(const char* key, const char* value, std::uint8_t* buffer,
                                     std::uint32_t capacity, std::uint32_t* length) = 0;
    /// Enables a named privilege in the program's own token; true when it took effect.
    virtual bool enable_privilege(const char* name) = 0;
};

/// Room for one sg device node name such as "/dev/sg12", its terminating zero included.
inline constexpr std::size_t SG_NODE_NAME_CAPACITY = 32;

/// The name of one sg device node, zero-terminated.
struct SgNodeName {
    char text[SG_NODE_NAME_CAPACITY];
};

/// Where the sg driver says a device sits (SG_GET_SCSI_ID), as the kernel's own ints: nothing
/// here is range-checked yet.
struct SgScsiId {
    std::int32_t host_no = 0;
    std::int32_t channel = 0;
    std::int32_t scsi_id = 0;
    std::int32_t lun = 0;
    std::int32_t scsi_type = 0;
};

/// How one SG_IO call ended.
enum class SgIoOutcome : std::uint8_t {
    done,     ///< the kernel ran the request: SCSI, host and driver status are valid
    refused,  ///< the kernel refused the request itself (EINVAL, ENOMEM: not a request it takes)
    failed,   ///< the call failed for any other reason (interrupted, device gone, no access)
};

/// What SG_IO reports about the way to the device, besides the device's own status.
struct SgTransportStatus {
    std::uint16_t host_status = 0;    ///< the host adapter's DID_* code; 0 is DID_OK
    std::uint16_t driver_status = 0;  ///< the midlayer's DRIVER_* code; see SG_DRIVER_SENSE
};

/// Driver status bit that only says sense data came back: not an error of its own.
inline constexpr std::uint16_t SG_DRIVER_SENSE = 0x08;
/// The part of the driver status that names an error (the rest are suggestions).
inline constexpr std::uint16_t SG_DRIVER_STATUS_MASK = 0x0F;

/// The Linux SCSI generic (sg) driver and the sysfs facts the provider needs around it.
class LinuxScsiGeneric {
public:
    virtual ~LinuxScsiGeneric() = default;
    /// Writes the names of the sg device nodes present ("/dev/sgN") in ascending N, at most
    /// capacity of them; returns how many it wrote.
    virtual std::size_t list_nodes(SgNodeName* names, std::size_t capacity) = 0;
    /// Opens a node for SG_IO with the given access; 0 on failure.
    virtual OsHandle open_node(const char* name, OpenAccess access) = 0;
    /// SG_GET_SCSI_ID on an open node; false when the driver does not answer it.
    virtual bool scsi_id(OsHandle node, SgScsiId& id) = 0;
    /// One synchronous SG_IO call for the request: writes scsi_status, the sense bytes the
    /// device returned (the rest of request.sense zero) and the transport status.
    virtual SgIoOutcome sg_io(OsHandle node, PassThroughRequest& request,
                              SgTransportStatus& transport) = 0;
    /// Reads /sys/class/scsi_host/host<host>/proc_name into buffer (at most capacity bytes, as
    /// the file holds them); *length is the number read. False when there is no such host.
    virtual bool host_proc_name(std::uint32_t host, std::uint8_t* buffer, std::uint32_t capacity,
                                std::uint32_t* length) = 0;
    /// Closes a node opened by open_node.
    virtual void close_node(OsHandle node) = 0;
    /// Where a node's device sits, as sysfs names it (readable without any right to the node);
    /// scsi_type is left 0. False when sysfs does not name it.
    virtual bool node_address(const char* name, SgScsiId& id) = 0;
};

class Threads;  // thread_seam.h

/// The platform as the transport sees it. Any member may be null where the platform lacks it:
/// no ASPI loader means the library is never loaded, no pass-through means no device is found,
/// no threads means every wait returns at once.
struct Platform {
    PlatformIdentity* identity = nullptr;
    AspiLibraryLoader* aspi_library = nullptr;
    NtPassThrough* nt = nullptr;
    LinuxScsiGeneric* linux_sg = nullptr;
    Threads* threads = nullptr;
};

/// Installs the platform for the rest of the run (or, in tests, until the next install).
void install_platform(const Platform& platform);
/// The installed platform.
const Platform& installed_platform();

}  // namespace korvel
