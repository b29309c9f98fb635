// The NT family's side of the transport's seams (os/windows_platform.cpp) against Wine: drive
// letters, device names, I/O controls, the sense area check, the registry and the token.
//
// Our own headers come first: the transport's I/O control constants share names with the
// macros of <ntddscsi.h>.
#include "platform_seam.h"
#include "windows_pass_through.h"
#include "windows_platform.h"
#include "wine_test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <vector>

namespace korvel {
namespace {

using wine::VolatileScsiPort;

class WinePlatform : public ::testing::Test {
protected:
    NtPassThrough& nt = windows_nt_pass_through();
};

TEST_F(WinePlatform, FamilyIsNtWhenWineAnswersAsWindowsNt) {
    // Wine answers as a member of the NT family unless told otherwise (wine_win9x_tests).
    ASSERT_EQ(GetVersion() & 0x80000000u, 0u);
    EXPECT_EQ(windows_identity().family(), PlatformFamily::windows_nt);
    EXPECT_EQ(windows_identity().system_default_lcid(), GetSystemDefaultLCID());
}

TEST_F(WinePlatform, DriveLettersAndTheirTypes) {
    const std::uint32_t drives = nt.logical_drives();
    EXPECT_EQ(drives, GetLogicalDrives());
    ASSERT_NE(drives & (1u << 2), 0u) << "Wine always has a C: drive";
    EXPECT_EQ(nt.drive_type("c:"), DRIVE_TYPE_FIXED);
    // A letter without a drive: DRIVE_NO_ROOT_DIR (1).
    for (char letter = 'y'; letter >= 'd'; --letter) {
        if ((drives >> (letter - 'a') & 1u) != 0) continue;
        const char root[] = {letter, ':', '\0'};
        EXPECT_EQ(nt.drive_type(root), 1u) << root;
        break;
    }
}

TEST_F(WinePlatform, DeviceNamesOpenAndCloseOrReportNoHandle) {
    // Wine's C: is a folder of the prefix; its volume opens, read/write with shared access.
    const OsHandle volume = nt.open_device("\\\\.\\c:", OpenAccess::read_write,
                                           OpenSharing::read_write);
    ASSERT_NE(volume, 0u);
    DWORD flags = 0;
    EXPECT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(volume), &flags));
    nt.close_handle(volume);
    EXPECT_FALSE(GetHandleInformation(reinterpret_cast<HANDLE>(volume), &flags))
        << "close_handle must close the handle";

    const OsHandle read_only = nt.open_device("\\\\.\\c:", OpenAccess::read, OpenSharing::read);
    EXPECT_NE(read_only, 0u);
    nt.close_handle(read_only);

    // Wine has no SCSI port driver, scanner or tape: these names do not open, and a failed
    // open is 0, never INVALID_HANDLE_VALUE.
    for (const char* name : {"\\\\.\\Scsi0:", "\\\\.\\Scsi1:", "\\\\.\\SCANNER0", "\\\\.\\TAPE0"}) {
        EXPECT_EQ(nt.open_device(name, OpenAccess::read_write, OpenSharing::read_write), 0u)
            << name;
        EXPECT_EQ(nt.open_device(name, OpenAccess::read, OpenSharing::read), 0u) << name;
    }
}

TEST_F(WinePlatform, IoControlsThatWineRefusesReportFailureAndTheError) {
    const OsHandle volume = nt.open_device("\\\\.\\c:", OpenAccess::read_write,
                                           OpenSharing::read_write);
    ASSERT_NE(volume, 0u);

    std::uint8_t address[8];
    std::memset(address, 0xAA, sizeof address);
    std::uint32_t returned = 1234;
    EXPECT_FALSE(nt.io_control(volume, IOCTL_SCSI_GET_ADDRESS, address, sizeof address,
                               &returned));
    EXPECT_EQ(returned, 0u);
    const std::uint32_t address_error = nt.last_error();
    EXPECT_NE(address_error, 0u);

    std::uint8_t data[80] = {};
    PassThroughRequest request;
    request.cdb_length = 6;
    request.sense_info_length = 14;
    request.data_in = 1;
    request.data_transfer_length = 56;
    request.timeout_seconds = 0xFFFF;
    request.data_buffer = data;
    request.cdb[0] = 0x12;
    request.cdb[4] = 0x38;
    request.scsi_status = 0x77;
    EXPECT_FALSE(nt.pass_through_direct(volume, request));
    // last_error reads what DeviceIoControl left: nothing may run in between.
    const std::uint32_t error = nt.last_error();
    EXPECT_NE(error, 0u);
    EXPECT_NE(error, OS_ERROR_INVALID_PARAMETER) << "a folder is not a transfer the port refuses";
    EXPECT_EQ(request.scsi_status, 0x77) << "a failed call writes nothing back";
    nt.close_handle(volume);

    SetLastError(ERROR_INVALID_PARAMETER);
    EXPECT_EQ(nt.last_error(), OS_ERROR_INVALID_PARAMETER);
}

TEST_F(WinePlatform, SenseAreaWritability) {
    std::uint8_t sense[16];
    EXPECT_TRUE(nt.is_writable(sense, sizeof sense));

    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    void* page = VirtualAlloc(nullptr, system.dwPageSize, MEM_COMMIT | MEM_RESERVE,
                              PAGE_READONLY);
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(nt.is_writable(page, 14));
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(page, system.dwPageSize, PAGE_READWRITE, &old));
    EXPECT_TRUE(nt.is_writable(page, 14));
    // Writable at the start, read-only at the end: the whole range counts.
    void* pages = VirtualAlloc(nullptr, 2 * system.dwPageSize, MEM_COMMIT | MEM_RESERVE,
                               PAGE_READWRITE);
    ASSERT_NE(pages, nullptr);
    auto* second = static_cast<std::uint8_t*>(pages) + system.dwPageSize;
    ASSERT_TRUE(VirtualProtect(second, system.dwPageSize, PAGE_READONLY, &old));
    EXPECT_FALSE(nt.is_writable(second - 4, 14));
    EXPECT_TRUE(nt.is_writable(second - 14, 14));
    VirtualFree(page, 0, MEM_RELEASE);
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST_F(WinePlatform, RegistryValuesOfTheScsiDeviceMap) {
    VolatileScsiPort port(0x1c);
    ASSERT_TRUE(port.made());
    ASSERT_TRUE(port.set_driver("aic78xx"));
    const std::uint8_t binary[] = {'s', 'y', 'm', 0, 0xFF};
    ASSERT_TRUE(port.set_value("Binary", REG_BINARY, binary, sizeof binary));
    const std::string long_name(300, 'x');
    ASSERT_TRUE(port.set_value("Long", REG_SZ, long_name.c_str(), 301));

    std::uint8_t buffer[256];
    std::memset(buffer, 0xEE, sizeof buffer);
    std::uint32_t length = 0;
    ASSERT_TRUE(nt.read_registry_value(port.path().c_str(), "Driver", buffer, 255, &length));
    EXPECT_EQ(length, 8u) << "the text and its terminating zero";
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer), "aic78xx");

    // Whatever the value's type, its bytes are read.
    ASSERT_TRUE(nt.read_registry_value(port.path().c_str(), "Binary", buffer, 255, &length));
    EXPECT_EQ(length, sizeof binary);
    EXPECT_EQ(std::memcmp(buffer, binary, sizeof binary), 0);

    // A value longer than the buffer, a missing value and a missing key read as nothing.
    length = 99;
    EXPECT_FALSE(nt.read_registry_value(port.path().c_str(), "Long", buffer, 255, &length));
    EXPECT_EQ(length, 0u);
    EXPECT_FALSE(nt.read_registry_value(port.path().c_str(), "Missing", buffer, 255, &length));
    EXPECT_FALSE(nt.read_registry_value("HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 1d", "Driver",
                                        buffer, 255, &length));
}

bool privilege_enabled(const char* name) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    LUID wanted{};
    LookupPrivilegeValueA(nullptr, name, &wanted);
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<std::uint8_t> data(size);
    bool enabled = false;
    if (GetTokenInformation(token, TokenPrivileges, data.data(), size, &size)) {
        const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(data.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
            if (entry.Luid.LowPart == wanted.LowPart && entry.Luid.HighPart == wanted.HighPart) {
                enabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
            }
        }
    }
    CloseHandle(token);
    return enabled;
}

TEST_F(WinePlatform, EnablesTheLoadDriverPrivilegeInItsOwnToken) {
    EXPECT_TRUE(nt.enable_privilege("SeLoadDriverPrivilege"));
    EXPECT_TRUE(privilege_enabled("SeLoadDriverPrivilege"));
    EXPECT_FALSE(nt.enable_privilege("SeNoSuchPrivilege"));
}

TEST(WinePassThroughRecord, HasThePlatformsLayoutForThisBuild) {
    if (sizeof(void*) == 8) {
        EXPECT_EQ(sizeof(SCSI_PASS_THROUGH_DIRECT), 56u);
        EXPECT_EQ(offsetof(WindowsPassThroughRecord, sense), 60u);
    } else {
        EXPECT_EQ(sizeof(SCSI_PASS_THROUGH_DIRECT), 44u);
        EXPECT_EQ(offsetof(WindowsPassThroughRecord, sense), 48u);
        EXPECT_EQ(sizeof(WindowsPassThroughRecord), 80u);
    }
}

TEST(WinePassThroughRecord, CarriesTheRequestAndBringsStatusAndSenseBack) {
    std::uint8_t data[512];
    PassThroughRequest request;
    request.path_id = 1;
    request.target_id = 5;
    request.lun = 2;
    request.cdb_length = 10;
    request.sense_info_length = 14;
    request.data_in = 1;
    request.data_transfer_length = sizeof data;
    request.timeout_seconds = 0xFFFF;
    request.data_buffer = data;
    for (std::uint8_t i = 0; i < 16; ++i) request.cdb[i] = static_cast<std::uint8_t>(0xA0 + i);

    WindowsPassThroughRecord record;
    std::memset(&record, 0x5A, sizeof record);
    fill_pass_through_record(request, record);
    const SCSI_PASS_THROUGH_DIRECT& header = record.header;
    EXPECT_EQ(header.Length, sizeof(SCSI_PASS_THROUGH_DIRECT));
    EXPECT_EQ(header.ScsiStatus, 0);
    EXPECT_EQ(header.PathId, 1);
    EXPECT_EQ(header.TargetId, 5);
    EXPECT_EQ(header.Lun, 2);
    EXPECT_EQ(header.CdbLength, 10);
    EXPECT_EQ(header.SenseInfoLength, 14);
    EXPECT_EQ(header.DataIn, SCSI_IOCTL_DATA_IN);
    EXPECT_EQ(header.DataTransferLength, sizeof data);
    EXPECT_EQ(header.TimeOutValue, 0xFFFFu);
    EXPECT_EQ(header.DataBuffer, data) << "the caller's buffer goes to the platform directly";
    EXPECT_EQ(header.SenseInfoOffset, offsetof(WindowsPassThroughRecord, sense));
    for (int i = 0; i < 10; ++i) EXPECT_EQ(header.Cdb[i], 0xA0 + i) << i;
    for (int i = 10; i < 16; ++i) EXPECT_EQ(header.Cdb[i], 0) << "CDB byte " << i << " zeroed";
    for (std::uint8_t byte : record.sense) EXPECT_EQ(byte, 0);

    // Data out, and no data at all, go as "out"; the unspecified direction is never used.
    request.data_in = 0;
    fill_pass_through_record(request, record);
    EXPECT_EQ(record.header.DataIn, SCSI_IOCTL_DATA_OUT);
    request.data_transfer_length = 0;
    request.data_buffer = nullptr;
    fill_pass_through_record(request, record);
    EXPECT_EQ(record.header.DataIn, SCSI_IOCTL_DATA_OUT);
    EXPECT_EQ(record.header.DataTransferLength, 0u);

    // A sense length above the record's buffer is cut to it.
    request.sense_info_length = 200;
    fill_pass_through_record(request, record);
    EXPECT_EQ(record.header.SenseInfoLength, 32);

    // What the platform writes comes back.
    record.header.ScsiStatus = 0x02;
    for (std::size_t i = 0; i < sizeof record.sense; ++i) {
        record.sense[i] = static_cast<UCHAR>(0x70 + i);
    }
    PassThroughRequest answer;
    read_pass_through_record(record, answer);
    EXPECT_EQ(answer.scsi_status, 0x02);
    for (std::size_t i = 0; i < sizeof answer.sense; ++i) {
        EXPECT_EQ(answer.sense[i], 0x70 + i) << i;
    }
}

}  // namespace
}  // namespace korvel
