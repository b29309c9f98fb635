// The library mode against Wine's own wnaspi32.dll. This program runs with Wine set to answer
// as Windows 98 (HKCU\Software\Wine\AppDefaults\wine_win9x_tests.exe, Version=win98, set by
// the wine_prefix_setup test), so GetVersion has its top bit set and aspi_load takes the 9x
// family's road: load the library and let it answer.
#include "aspi_srb.h"
#include "lib_aspi.h"
#include "lib_wnaspi32.h"
#include "platform_seam.h"
#include "windows_platform.h"
#include "wine_test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

namespace korvel {
namespace {

using wine::VolatileScsiPort;

using SupportInfoEntry = DWORD(__cdecl*)();
using SendCommandEntry = DWORD(__cdecl*)(void*);

// The library's own answers, asked for directly, to compare the service layer with.
class DirectLibrary {
public:
    DirectLibrary() : module_(LoadLibraryA("wnaspi32.dll")) {
        if (module_ == nullptr) return;
        support_ = reinterpret_cast<SupportInfoEntry>(
            reinterpret_cast<void*>(GetProcAddress(module_, "GetASPI32SupportInfo")));
        send_ = reinterpret_cast<SendCommandEntry>(
            reinterpret_cast<void*>(GetProcAddress(module_, "SendASPI32Command")));
    }
    ~DirectLibrary() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    DirectLibrary(const DirectLibrary&) = delete;
    DirectLibrary& operator=(const DirectLibrary&) = delete;

    bool usable() const { return support_ != nullptr && send_ != nullptr; }
    DWORD support_info() const { return support_(); }
    DWORD send(void* srb) const { return send_(srb); }

private:
    HMODULE module_;
    SupportInfoEntry support_ = nullptr;
    SendCommandEntry send_ = nullptr;
};

// What scsi_start must make of a support-info value: the count when the status is SS_COMP,
// else -1.
int start_result_of(DWORD support) {
    return ((support >> 8) & 0xFFu) == SS_COMP ? static_cast<int>(support & 0xFFu) : -1;
}

class WineWindows98 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(GetVersion() & 0x80000000u, 0u)
            << "Wine must answer as Windows 98 for this program (wine_prefix_setup)";
        install_os_platform();
    }
    void TearDown() override {
        scsi_stop();
        EXPECT_FALSE(wine::module_loaded("wnaspi32.dll")) << "the library is freed at the end";
    }
};

TEST_F(WineWindows98, IdentityIsTheWindows9xFamily) {
    EXPECT_EQ(installed_platform().identity->family(), PlatformFamily::windows_9x);
}

TEST_F(WineWindows98, LoadsWinesLibraryAndFreesItAgain) {
    ASSERT_FALSE(wine::module_loaded("wnaspi32.dll"));
    aspi_load();
    EXPECT_TRUE(aspi_library_mode());
    EXPECT_TRUE(wine::module_loaded("wnaspi32.dll"));
    aspi_unload();
    EXPECT_FALSE(aspi_library_mode());
    EXPECT_FALSE(wine::module_loaded("wnaspi32.dll"));
}

// The program runs as administrator, and LoadLibrary's own search looks in the folder it was
// started from (on the 9x family even before the system folder): a wnaspi32.dll left there,
// here one lacking an entry point, must never be loaded.
TEST_F(WineWindows98, NeverLoadsTheLibraryFromTheCurrentFolder) {
    char started_in[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, started_in), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA((wine::own_folder() + "\\partial_aspi").c_str()));
    aspi_load();
    SetCurrentDirectoryA(started_in);
    EXPECT_TRUE(aspi_library_mode()) << "Wine's own library, from the system folder";
    EXPECT_EQ(GetEnvironmentVariableA("KORVEL_PARTIAL_ASPI", nullptr, 0), 0u)
        << "the library of the current folder was loaded";
}

// Wine's library counts the buses listed under HKLM\HARDWARE\DEVICEMAP\Scsi. With none
// listed it reports no adapter, and the start fails as the window reports it (message 6).
TEST_F(WineWindows98, StartReportsWhatTheLibraryAnswersWithoutAdapters) {
    DirectLibrary library;
    ASSERT_TRUE(library.usable());
    const DWORD answer = library.support_info();
    const int started = scsi_start();
    EXPECT_TRUE(aspi_library_mode());
    EXPECT_EQ(started, start_result_of(answer)) << std::hex << "library answered 0x" << answer;
    EXPECT_EQ(started, -1) << "no adapter listed, so no successful start";
    EXPECT_LE(started, 0) << "the window treats 0 or less as a failed start";
}

TEST_F(WineWindows98, StartReportsWhatTheLibraryAnswersWithOneAdapter) {
    VolatileScsiPort port(3);
    ASSERT_TRUE(port.made());
    ASSERT_TRUE(port.set_driver("aic78xx"));
    ASSERT_TRUE(port.add_bus(0));
    DirectLibrary library;
    ASSERT_TRUE(library.usable());
    const DWORD answer = library.support_info();
    const int started = scsi_start();
    EXPECT_TRUE(aspi_library_mode());
    EXPECT_EQ(started, start_result_of(answer)) << std::hex << "library answered 0x" << answer;
    EXPECT_EQ(started, 1);
    // The adapter inquiry polls the block's status without a time limit: it must come back
    // although Wine's library reports its status only as the return value.
    EXPECT_GE(adapter_count(), 0);
    char identifier[ADAPTER_IDENTIFIER_CAPACITY] = {};
    adapter_identifier(0, identifier);
}

// In library mode the layer hands the block over untouched and returns the low byte of what
// the library returns: compare with the library's answer to an identical block.
TEST_F(WineWindows98, RequestsGoToTheLibraryUntouched) {
    DirectLibrary library;
    ASSERT_TRUE(library.usable());
    aspi_load();
    ASSERT_TRUE(aspi_library_mode());

    for (std::uint8_t command : {SC_HA_INQUIRY, SC_GET_DEV_TYPE, SC_EXEC_SCSI_CMD, SC_RESET_DEV}) {
        std::uint8_t data[36] = {};
        SRB_ExecSCSICmd ours{};
        ours.SRB_Cmd = command;
        ours.SRB_Flags = SRB_DIR_IN;
        ours.SRB_BufLen = sizeof data;
        ours.SRB_BufPointer = data;
        ours.SRB_SenseLen = 14;
        ours.SRB_CDBLen = 6;
        ours.CDBByte[0] = 0x12;
        ours.CDBByte[4] = sizeof data;
        SRB_ExecSCSICmd theirs = ours;
        const DWORD direct = library.send(&theirs);
        const std::uint8_t returned = aspi_send_command(&ours);
        EXPECT_EQ(returned, direct & 0xFFu) << "command " << int{command};
        // Wine's library leaves some blocks pending while it returns a final status; the layer
        // puts that status into the block so that nobody waits for it for ever.
        if (theirs.SRB_Status == SS_PENDING) theirs.SRB_Status = returned;
        EXPECT_EQ(std::memcmp(&ours, &theirs, sizeof ours), 0) << "command " << int{command};
    }
}

}  // namespace
}  // namespace korvel
