// A wnaspi32.dll that lacks one of the two entry points counts as absent. This program runs
// as Windows 98 (like wine_win9x_tests) from a folder holding a wnaspi32.dll of our own that
// exports SendASPI32Command only; LoadLibraryA finds that one before Wine's.
#include "lib_aspi.h"
#include "lib_wnaspi32.h"
#include "platform_seam.h"
#include "windows_platform.h"
#include "wine_test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace korvel {
namespace {

std::string partial_library_state() {
    char value[32] = {};
    if (GetEnvironmentVariableA("KORVEL_PARTIAL_ASPI", value, sizeof value) == 0) return {};
    return value;
}

TEST(WinePartialLibrary, IsLoadedLookedAtFreedAndTheEmulationAnswers) {
    ASSERT_NE(GetVersion() & 0x80000000u, 0u)
        << "Wine must answer as Windows 98 for this program (wine_prefix_setup)";
    install_os_platform();
    ASSERT_EQ(installed_platform().identity->family(), PlatformFamily::windows_9x);
    ASSERT_EQ(partial_library_state(), "");

    aspi_load();
    EXPECT_EQ(partial_library_state(), "freed") << "the library was loaded, then freed";
    EXPECT_FALSE(wine::module_loaded("wnaspi32.dll"));
    EXPECT_FALSE(aspi_library_mode());

    // The emulation answers in its place: on Wine it finds the C: volume, as on the NT family.
    EXPECT_EQ(aspi_support_info(), 0x0101u);
    scsi_stop();
}

}  // namespace
}  // namespace korvel
