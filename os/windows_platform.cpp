// Our own headers first: the transport's constants share names with <ntddscsi.h>'s macros
// and must be declared before those exist.
#include "windows_platform.h"
#include "windows_pass_through.h"
#include "os_threads.h"

#include <windows.h>

#include <ntddscsi.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>

namespace korvel {

// The transport's copies of the published values must match the platform's own. Its I/O
// control constants carry the names of <ntddscsi.h>'s macros, so each macro is set aside while
// the constant is compared with the macro's value.
namespace {
constexpr DWORD platform_get_inquiry_data = IOCTL_SCSI_GET_INQUIRY_DATA;
constexpr DWORD platform_get_address = IOCTL_SCSI_GET_ADDRESS;
constexpr DWORD platform_pass_through_direct = IOCTL_SCSI_PASS_THROUGH_DIRECT;
}  // namespace
#pragma push_macro("IOCTL_SCSI_GET_INQUIRY_DATA")
#pragma push_macro("IOCTL_SCSI_GET_ADDRESS")
#pragma push_macro("IOCTL_SCSI_PASS_THROUGH_DIRECT")
#undef IOCTL_SCSI_GET_INQUIRY_DATA
#undef IOCTL_SCSI_GET_ADDRESS
#undef IOCTL_SCSI_PASS_THROUGH_DIRECT
static_assert(IOCTL_SCSI_GET_INQUIRY_DATA == platform_get_inquiry_data);
static_assert(IOCTL_SCSI_GET_ADDRESS == platform_get_address);
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == platform_pass_through_direct);
#pragma pop_macro("IOCTL_SCSI_PASS_THROUGH_DIRECT")
#pragma pop_macro("IOCTL_SCSI_GET_ADDRESS")
#pragma pop_macro("IOCTL_SCSI_GET_INQUIRY_DATA")

static_assert(DRIVE_CDROM == DRIVE_TYPE_CDROM && DRIVE_FIXED == DRIVE_TYPE_FIXED &&
              DRIVE_REMOVABLE == DRIVE_TYPE_REMOVABLE && DRIVE_UNKNOWN == DRIVE_TYPE_UNKNOWN);
static_assert(ERROR_INVALID_PARAMETER == OS_ERROR_INVALID_PARAMETER &&
              ERROR_INSUFFICIENT_BUFFER == OS_ERROR_INSUFFICIENT_BUFFER &&
              ERROR_MORE_DATA == OS_ERROR_MORE_DATA);
static_assert(sizeof(OsHandle) == sizeof(HANDLE), "a handle must fit an OsHandle");

namespace {

HANDLE as_handle(OsHandle handle) { return reinterpret_cast<HANDLE>(handle); }

OsHandle from_handle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<OsHandle>(handle);
}

// --- Who the platform is -----------------------------------------------------------------------

class WindowsIdentity final : public PlatformIdentity {
public:
    // The 9x family sets the top bit of GetVersion; the NT family leaves it clear.
    PlatformFamily family() override {
        return (GetVersion() & 0x80000000u) != 0 ? PlatformFamily::windows_9x
                                                  : PlatformFamily::windows_nt;
    }
    std::uint32_t system_default_lcid() override { return GetSystemDefaultLCID(); }
};

// --- wnaspi32.dll --------------------------------------------------------------------------------

// Puts folder (length bytes of path, a separator added when it lacks one) and name together
// in path; false when they do not fit.
bool join_folder_and_name(char (&path)[MAX_PATH], std::size_t length, const char* name) {
    if (length > 0 && path[length - 1] != '\\') {
        if (length + 1 >= MAX_PATH) return false;
        path[length++] = '\\';
    }
    const std::size_t name_length = std::strlen(name);
    if (length + name_length >= MAX_PATH) return false;
    std::memcpy(path + length, name, name_length + 1);
    return true;
}

// The full path of name in the program's own folder; false when it cannot be made. The path
// is in the system's ANSI code page, where a byte after a lead byte of a double-byte
// character may look like a backslash: those are stepped over.
bool in_program_folder(char (&path)[MAX_PATH], const char* name) {
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;  // none, or cut short
    std::size_t folder_length = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < length) {
            ++i;
        } else if (path[i] == '\\') {
            folder_length = i + 1;
        }
    }
    return folder_length > 0 && join_folder_and_name(path, folder_length, name);
}

// The full path of name in the system folder; false when it cannot be made.
bool in_system_folder(char (&path)[MAX_PATH], const char* name) {
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    return length > 0 && length < MAX_PATH && join_folder_and_name(path, length, name);
}

class WindowsAspiLoader final : public AspiLibraryLoader {
public:
    // Loads the library from the program's own folder, else from the system folder, each
    // time by its full path. LoadLibraryA given the bare name would also search the current
    // folder (on the 9x family before the system folder) and every folder of PATH, and the
    // program runs as administrator: a wnaspi32.dll that someone left in the folder it was
    // started from would run with those rights. Full paths work on every Windows the program
    // runs on; the search flags of LoadLibraryEx and SetDefaultDllDirectories came later.
    OsHandle load_library(const char* name) override {
        char path[MAX_PATH];
        HMODULE library = nullptr;
        // The program's folder is tried only when the library is there: usually it is not.
        if (in_program_folder(path, name) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
            library = LoadLibraryA(path);
        }
        if (library == nullptr && in_system_folder(path, name)) library = LoadLibraryA(path);
        return reinterpret_cast<OsHandle>(library);
    }
    void* find_entry(OsHandle library, const char* name) override {
        if (library == 0) return nullptr;
        const FARPROC entry = GetProcAddress(reinterpret_cast<HMODULE>(library), name);
        return reinterpret_cast<void*>(entry);
    }
    void free_library(OsHandle library) override {
        if (library != 0) FreeLibrary(reinterpret_cast<HMODULE>(library));
    }
};

// --- The NT family's devices -------------------------------------------------------------------

class WindowsNtPassThrough final : public NtPassThrough {
public:
    std::uint32_t logical_drives() override { return GetLogicalDrives(); }

    std::uint32_t drive_type(const char* root) override { return GetDriveTypeA(root); }

    OsHandle open_device(const char* name, OpenAccess access, OpenSharing sharing) override {
        const DWORD desired = access == OpenAccess::read_write ? GENERIC_READ | GENERIC_WRITE
                                                               : GENERIC_READ;
        const DWORD share = sharing == OpenSharing::read_write
                                ? FILE_SHARE_READ | FILE_SHARE_WRITE
                                : FILE_SHARE_READ;
        return from_handle(CreateFileA(name, desired, share, nullptr, OPEN_EXISTING, 0, nullptr));
    }

    void close_handle(OsHandle handle) override {
        if (handle != 0) CloseHandle(as_handle(handle));
    }

    bool io_control(OsHandle handle, std::uint32_t code, void* out, std::uint32_t out_size,
                    std::uint32_t* returned) override {
        DWORD count = 0;
        const BOOL done =
            DeviceIoControl(as_handle(handle), code, nullptr, 0, out, out_size, &count, nullptr);
        if (returned != nullptr) *returned = done ? std::min<DWORD>(count, out_size) : 0;
        return done != FALSE;
    }

    bool pass_through_direct(OsHandle handle, PassThroughRequest& request) override {
        WindowsPassThroughRecord record;
        fill_pass_through_record(request, record);
        DWORD count = 0;
        // Nothing may call into Windows between a failure and last_error(), which reads it.
        if (!DeviceIoControl(as_handle(handle), IOCTL_SCSI_PASS_THROUGH_DIRECT, &record,
                             sizeof record, &record, sizeof record, &count, nullptr)) {
            return false;
        }
        read_pass_through_record(record, request);
        return true;
    }

    std::uint32_t last_error() override { return GetLastError(); }

    bool is_writable(void* address, std::uint32_t size) override {
        return IsBadWritePtr(address, size) == FALSE;
    }

    bool read_registry_value(const char* key, const char* value, std::uint8_t* buffer,
                             std::uint32_t capacity, std::uint32_t* length) override {
        if (length != nullptr) *length = 0;
        HKEY opened = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &opened) !=
            ERROR_SUCCESS) {
            return false;
        }
        DWORD size = capacity;
        const LSTATUS status = RegQueryValueExA(opened, value, nullptr, nullptr, buffer, &size);
        RegCloseKey(opened);
        if (status != ERROR_SUCCESS) return false;
        if (length != nullptr) *length = std::min<DWORD>(size, capacity);
        return true;
    }

    bool enable_privilege(const char* name) override {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token)) return false;
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        bool enabled = false;
        if (LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid)) {
            // AdjustTokenPrivileges succeeds even when the token lacks the privilege; only
            // the error code then tells (ERROR_NOT_ALL_ASSIGNED).
            AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr,
                                  nullptr);
            enabled = GetLastError() == ERROR_SUCCESS;
        }
        CloseHandle(token);
        return enabled;
    }
};

WindowsIdentity identity;
WindowsAspiLoader aspi_loader;
WindowsNtPassThrough nt_pass_through;

}  // namespace

void fill_pass_through_record(const PassThroughRequest& request,
                              WindowsPassThroughRecord& record) {
    std::memset(&record, 0, sizeof record);
    SCSI_PASS_THROUGH_DIRECT& header = record.header;
    header.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    header.PathId = request.path_id;
    header.TargetId = request.target_id;
    header.Lun = request.lun;
    header.CdbLength = std::min<UCHAR>(request.cdb_length, sizeof header.Cdb);
    header.SenseInfoLength = std::min<UCHAR>(request.sense_info_length, PASS_THROUGH_SENSE_SIZE);
    // Without data the direction is "out" with a length of 0; "unspecified" is never used.
    header.DataIn = request.data_in != 0 ? SCSI_IOCTL_DATA_IN : SCSI_IOCTL_DATA_OUT;
    header.DataTransferLength = request.data_transfer_length;
    header.TimeOutValue = request.timeout_seconds;
    header.DataBuffer = request.data_buffer;
    header.SenseInfoOffset = offsetof(WindowsPassThroughRecord, sense);
    std::memcpy(header.Cdb, request.cdb, header.CdbLength);
}

void read_pass_through_record(const WindowsPassThroughRecord& record,
                              PassThroughRequest& request) {
    request.scsi_status = record.header.ScsiStatus;
    std::memcpy(request.sense, record.sense, sizeof request.sense);
}

PlatformIdentity& windows_identity() { return identity; }

AspiLibraryLoader& windows_aspi_library_loader() { return aspi_loader; }

NtPassThrough& windows_nt_pass_through() { return nt_pass_through; }

void install_os_platform() {
    Platform platform;
    platform.identity = &identity;
    platform.aspi_library = &aspi_loader;
    platform.nt = &nt_pass_through;
    platform.threads = &os_threads();
    install_platform(platform);
}

}  // namespace korvel
