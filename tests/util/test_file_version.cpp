// File version numbers and text, over a simulated version resource and over Linux itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "lib_getfilever.h"
#include "scratch_folder.h"
#include "linux_util_platform.h"
#include "util_platform_seam.h"

namespace korvel {
namespace {

// A platform whose files all carry the one version resource it was given, or none.
class SimulatedVersions final : public FileVersionSource {
public:
    bool fixed_file_info(const char* /*path*/, FixedFileInfo& out) override {
        if (!has_resource) return false;
        out = info;
        return true;
    }
    bool has_resource = true;
    FixedFileInfo info;
};

class FileVersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        UtilPlatform platform;
        platform.versions = &versions;
        install_util_platform(platform);
    }
    void TearDown() override { install_util_platform(UtilPlatform{}); }
    void set_version(std::uint32_t ms, std::uint32_t ls, std::uint32_t flags, std::uint32_t mask) {
        versions.info.signature = FIXED_FILE_INFO_SIGNATURE;
        versions.info.file_version_ms = ms;
        versions.info.file_version_ls = ls;
        versions.info.file_flags = flags;
        versions.info.file_flags_mask = mask;
    }
    SimulatedVersions versions;
};

TEST_F(FileVersionTest, NumbersComeFromTheHighAndLowWordsInOrder) {
    set_version(0x0001'0000, 0x000C'012C, 0, 0x3F);
    char text[VERSION_TEXT_SIZE] = "junk";
    std::uint8_t debug = 9;
    EXPECT_EQ(version_text("korvel-update", text, sizeof text, &debug), 1);
    EXPECT_STREQ(text, "1.0.12.300");
    EXPECT_EQ(debug, 0);

    set_version(0xFFFF'FFFE, 0x0003'FFFF, 0, 0);
    EXPECT_EQ(version_text("korvel-update", text, sizeof text), 1);
    EXPECT_STREQ(text, "65535.65534.3.65535");
    std::uint32_t major = 0, minor = 0, release = 0, build = 0;
    EXPECT_EQ(file_version("korvel-update", major, minor, release, build), 1);
    EXPECT_EQ(major, 65535u);
    EXPECT_EQ(minor, 65534u);
    EXPECT_EQ(release, 3u);
    EXPECT_EQ(build, 65535u);
}

TEST_F(FileVersionTest, DebugFlagIgnoresTheFlagsMask) {
    std::uint32_t major = 0, minor = 0, release = 0, build = 0;
    std::uint8_t debug = 0;
    set_version(0x0002'0001, 0x0004'0000, VS_FF_DEBUG, 0);
    EXPECT_EQ(file_version("x", major, minor, release, build, &debug), 1);
    EXPECT_EQ(debug, 1);
    set_version(0x0002'0001, 0x0004'0000, 0x2, VS_FF_DEBUG);
    EXPECT_EQ(file_version("x", major, minor, release, build, &debug), 1);
    EXPECT_EQ(debug, 0);
}

TEST_F(FileVersionTest, NoResourceGivesZeroAndAnEmptyTextAndWritesNothingElse) {
    versions.has_resource = false;
    char text[VERSION_TEXT_SIZE] = "1.2.3.4";
    std::uint8_t debug = 7;
    EXPECT_EQ(version_text("plain.bin", text, sizeof text, &debug), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(debug, 7);
    std::uint32_t major = 42, minor = 42, release = 42, build = 42;
    EXPECT_EQ(file_version("plain.bin", major, minor, release, build), 0);
    EXPECT_EQ(major + minor + release + build, 4u * 42u);
    install_util_platform(UtilPlatform{});
    EXPECT_EQ(version_text("plain.bin", text, sizeof text), 0);
}

// On Linux only the program's own file has a version: the one the build gave it.
TEST(LinuxFileVersion, OwnExecutableHasTheBuildVersionAndOtherFilesNone) {
    install_os_util_platform();
    const std::string expected = std::to_string(KORVEL_VERSION_MAJOR) + "." +
                                 std::to_string(KORVEL_VERSION_MINOR) + "." +
                                 std::to_string(KORVEL_VERSION_RELEASE) + "." +
                                 std::to_string(KORVEL_VERSION_BUILD);
    const std::filesystem::path own = std::filesystem::read_symlink("/proc/self/exe");
    char text[VERSION_TEXT_SIZE] = "junk";
    std::uint8_t debug = 9;
    EXPECT_EQ(version_text(own.c_str(), text, sizeof text, &debug), 1);
    EXPECT_EQ(text, expected);
    EXPECT_EQ(debug, 0);

    // Another name for the same file is still the program's own file.
    ScratchFolder folder;
    const std::string alias = folder.file("alias");
    std::filesystem::create_symlink(own, alias);
    EXPECT_EQ(version_text(alias.c_str(), text, sizeof text), 1);
    EXPECT_EQ(text, expected);

    const std::string other = folder.file("other.bin");
    std::ofstream(other) << "no resource";
    EXPECT_EQ(version_text(other.c_str(), text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(version_text("/no/such/file", text, sizeof text), 0);
    install_util_platform(UtilPlatform{});
}

}  // namespace
}  // namespace korvel
