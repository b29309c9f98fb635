// The ASPI service layer and its NT emulation over the Windows platform, run against Wine:
// the provider choice, the enumeration of Wine's devices, the start the window sees, and the
// host adapter inquiry that reads the port driver's name from the registry.
#include "aspi_srb.h"
#include "lib_aspi.h"
#include "lib_wnaspi32.h"
#include "nt_emulation.h"
#include "windows_platform.h"
#include "wine_test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

namespace korvel {
namespace {

using wine::VolatileScsiPort;

class WineServiceLayer : public ::testing::Test {
protected:
    void SetUp() override {
        install_os_platform();
        ASSERT_EQ(installed_platform().identity->family(), PlatformFamily::windows_nt);
    }
    void TearDown() override { scsi_stop(); }
};

TEST_F(WineServiceLayer, NtFamilyNeverLoadsTheLibraryEvenWhereItExists) {
    // Wine ships a wnaspi32.dll of its own, and it loads...
    const HMODULE library = LoadLibraryA("wnaspi32.dll");
    ASSERT_NE(library, nullptr);
    ASSERT_NE(GetProcAddress(library, "SendASPI32Command"), nullptr);
    FreeLibrary(library);
    ASSERT_FALSE(wine::module_loaded("wnaspi32.dll"));

    // ...but on the NT family the emulation answers and the library is not even tried.
    aspi_load();
    EXPECT_FALSE(aspi_library_mode());
    EXPECT_FALSE(wine::module_loaded("wnaspi32.dll"));
}

// What Wine offers the enumeration: no SCSI port, scanner or tape device, and no device that
// reports a SCSI address. Its C: drive, a folder of the prefix, opens as a volume but refuses
// both SCSI I/O controls, so the last pass takes it for a drive without an address and puts it
// on the unaddressed-device host, which is then host 0. Drive Z:, the Unix root, opens the same
// way on some systems (seen in a QEMU guest booted from a disk image), so it may take the next
// target.
TEST_F(WineServiceLayer, EnumerationFindsNoScsiPortOnlyTheUnaddressedVolume) {
    const std::int32_t hosts = scsi_start();
    EXPECT_EQ(hosts, host_count());
    ASSERT_EQ(hosts, 1) << "Wine's volumes on host 0, nothing else";
    EXPECT_TRUE(host_present(0));

    // Only host 0 holds open handles, each a volume with path id 0, from target 0 on without
    // gaps; C: is the first.
    int filled = 0;
    for (std::uint32_t host = 0; host < MAX_HOSTS; ++host) {
        for (std::uint32_t target = 0; target < MAX_TARGETS; ++target) {
            for (std::uint32_t lun = 0; lun < MAX_LUNS; ++lun) {
                const DeviceSlot slot = device_slot(host, target, lun);
                if (slot.handle == 0) continue;
                ++filled;
                EXPECT_EQ(host, 0u);
                EXPECT_EQ(lun, 0u);
                EXPECT_EQ(target, static_cast<std::uint32_t>(filled - 1));
                EXPECT_EQ(slot.path_id, 0u);
            }
        }
    }
    const DeviceSlot volume = device_slot(0, 0, 0);
    ASSERT_NE(volume.handle, 0u);
    EXPECT_GE(filled, 1);
    EXPECT_LE(filled, 2) << "C: and at most Z:";
    const auto volume_handle = reinterpret_cast<HANDLE>(volume.handle);
    DWORD flags = 0;
    EXPECT_TRUE(GetHandleInformation(volume_handle, &flags)) << "the slot's handle is open";

    // The window's scan of that host: an INQUIRY to the volume fails, so no device is shown.
    std::int32_t type = 99;
    std::int32_t removable = 99;
    std::int32_t family = 99;
    char model[INQUIRY_MODEL_CAPACITY] = "model";
    char vendor[VENDOR_TEXT_CAPACITY] = "vendor";
    char product[PRODUCT_TEXT_CAPACITY] = "product";
    char revision[REVISION_TEXT_CAPACITY] = "rev";
    scsi_inquiry(0, 0, 0, type, removable, family, model, vendor, product, revision);
    EXPECT_EQ(type, -1);
    EXPECT_EQ(family, 0);

    // Unloading closes the handle it held, once.
    scsi_stop();
    EXPECT_EQ(device_slot(0, 0, 0).handle, 0u);
    EXPECT_FALSE(GetHandleInformation(volume_handle, &flags));
}

TEST_F(WineServiceLayer, RefusedPassThroughMakesUpHardwareErrorSense) {
    ASSERT_EQ(scsi_start(), 1);
    std::uint8_t data[36] = {};
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Flags = SRB_DIR_IN;
    srb.SRB_BufLen = sizeof data;
    srb.SRB_BufPointer = data;
    srb.SRB_SenseLen = 14;
    srb.SRB_CDBLen = 6;
    srb.SRB_HaStat = 0x11;
    srb.SRB_TargStat = 0x22;
    srb.CDBByte[0] = 0x12;
    srb.CDBByte[4] = sizeof data;
    std::memset(srb.SenseArea, 0xCC, sizeof srb.SenseArea);

    // Wine refuses the pass-through with an error other than an invalid parameter.
    EXPECT_EQ(aspi_send_and_wait(&srb), SS_ERR);
    EXPECT_EQ(srb.SRB_Status, SS_ERR);
    const std::uint8_t hardware_error[14] = {0x70, 0x00, 0x04};
    EXPECT_EQ(std::memcmp(srb.SenseArea, hardware_error, sizeof hardware_error), 0);
    EXPECT_EQ(srb.SenseArea[14], 0xCC) << "only SRB_SenseLen bytes are written";
    EXPECT_EQ(srb.SRB_HaStat, 0x11);
    EXPECT_EQ(srb.SRB_TargStat, 0x22);
    const std::uint32_t buffer_length = srb.SRB_BufLen;  // a packed field: read it out first
    EXPECT_EQ(buffer_length, sizeof data);

    // An address with no device answers at once and leaves the sense area alone (the last
    // target: Wine's drive Z: may stand on the second).
    srb.SRB_Target = 7;
    std::memset(srb.SenseArea, 0xCC, sizeof srb.SenseArea);
    EXPECT_EQ(aspi_send_and_wait(&srb), SS_NO_DEVICE);
    EXPECT_EQ(srb.SenseArea[0], 0xCC);
}

TEST_F(WineServiceLayer, HostAdapterInquiryNamesThePortDriverFromTheDeviceMap) {
    ASSERT_EQ(scsi_start(), 1);
    // Port 0x1a: its key's name ends in "1a", lower-case hexadecimal.
    VolatileScsiPort port(0x1a);
    ASSERT_TRUE(port.made());
    ASSERT_TRUE(port.set_driver("aic78xx"));

    char name[ADAPTER_IDENTIFIER_CAPACITY];
    adapter_identifier(0x1a, name);
    EXPECT_STREQ(name, "aic78xx");
    adapter_identifier(0x1b, name);
    EXPECT_STREQ(name, "") << "no key for port 0x1b";

    SRB_HAInquiry srb{};
    srb.SRB_Cmd = SC_HA_INQUIRY;
    srb.SRB_HaId = 0x1a;
    srb.HA_Rsvd1 = 0xBEEF;
    srb.HA_ManagerId[15] = 0x99;
    EXPECT_EQ(aspi_send_and_wait(&srb), SS_COMP);
    EXPECT_EQ(srb.SRB_Status, SS_COMP);
    EXPECT_EQ(srb.HA_Count, 1);
    EXPECT_EQ(srb.HA_SCSI_ID, 7);
    EXPECT_EQ(std::memcmp(srb.HA_ManagerId, "ASPI for WIN32", 15), 0);
    EXPECT_EQ(srb.HA_ManagerId[15], 0x99) << "byte 25 is left alone";
    EXPECT_EQ(std::memcmp(srb.HA_Identifier, "aic78xx", 8), 0);
    const std::uint8_t unique[16] = {0x07, 0x00, 0x00, 0x08, 0x00, 0x00, 0x04, 0x00};
    EXPECT_EQ(std::memcmp(srb.HA_Unique, unique, sizeof unique), 0);
    const std::uint16_t reserved = srb.HA_Rsvd1;
    EXPECT_EQ(reserved, 0xBEEF);

    EXPECT_EQ(adapter_count(), 1);
}

TEST_F(WineServiceLayer, DriverNamesOfAnyTypeAndLength) {
    ASSERT_EQ(scsi_start(), 1);
    // Host 0 is Wine's unaddressed volume, named after no port: a host number the enumeration
    // did not give out is asked of the registry as it is.
    VolatileScsiPort port(5);
    ASSERT_TRUE(port.made());
    // A name stored as binary data still names the adapter...
    ASSERT_TRUE(port.set_value("Driver", REG_BINARY, "atapi", 5));
    char name[ADAPTER_IDENTIFIER_CAPACITY];
    adapter_identifier(5, name);
    EXPECT_STREQ(name, "atapi");
    // ...and one longer than the field is cut to its 16 bytes.
    ASSERT_TRUE(port.set_driver("a_very_long_port_driver"));
    adapter_identifier(5, name);
    EXPECT_STREQ(name, "a_very_long_port");
}

}  // namespace
}  // namespace korvel
