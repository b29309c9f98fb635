// Files opened by mode, read, written and closed through handles, on Linux's own files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lib_global.h"
#include "linux_util_platform.h"
#include "scratch_folder.h"
#include "util_platform_seam.h"

namespace korvel {
namespace {

constexpr std::int32_t FIRMWARE_MODE = OPEN_READ | SHARE_DENY_NONE;  // 64

class OpenFileTest : public ::testing::Test {
protected:
    void SetUp() override { install_os_util_platform(); }
    void TearDown() override { install_util_platform(UtilPlatform{}); }

    std::string make_file(const char* name, const std::string& content) {
        const std::string path = folder.file(name);
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::string content_of(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    ScratchFolder folder;
};

TEST_F(OpenFileTest, CreateModeEmptiesTheFileAndOpensItForReadingAndWriting) {
    const std::string path = make_file("backup.bin", "old firmware image");
    const int handle = open_file(path.c_str(), OPEN_CREATE);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(file_size(handle), 0);
    EXPECT_EQ(content_of(path), "");
    EXPECT_EQ(file_write(handle, "PVM-070", 7), 7);
    EXPECT_EQ(file_seek(handle, 0, SEEK_FROM_START), 0);
    char back[16] = {};
    EXPECT_EQ(file_read(handle, back, sizeof back), 7);
    EXPECT_STREQ(back, "PVM-070");
    EXPECT_EQ(file_close(handle), 0);
    EXPECT_EQ(content_of(path), "PVM-070");

    const std::string fresh = folder.file("fresh.bin");
    const int created = open_file(fresh.c_str(), OPEN_CREATE);
    EXPECT_GT(created, 0);
    EXPECT_TRUE(std::filesystem::exists(fresh));
    file_close(created);
}

TEST_F(OpenFileTest, FirmwareModeReadsAnExistingFileOnly) {
    std::string image(100, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
    const std::string path = make_file("image.bin", image);
    const int handle = open_file(path.c_str(), FIRMWARE_MODE);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(file_size(handle), 100);
    std::vector<char> buffer(256, 'x');
    EXPECT_EQ(file_read(handle, buffer.data(), 40), 40);
    EXPECT_EQ(file_size(handle), 100);  // leaves the position alone
    EXPECT_EQ(file_read(handle, buffer.data() + 40, 200), 60);
    EXPECT_EQ(std::string(buffer.data(), 100), image);
    EXPECT_EQ(file_read(handle, buffer.data(), 10), 0);
    EXPECT_EQ(file_write(handle, "x", 1), -1);
    EXPECT_EQ(file_close(handle), 0);
    EXPECT_EQ(content_of(path), image);

    EXPECT_EQ(open_file(folder.file("missing.bin").c_str(), FIRMWARE_MODE), -1);
    EXPECT_FALSE(std::filesystem::exists(folder.file("missing.bin")));
    EXPECT_EQ(open_file(folder.path().c_str(), FIRMWARE_MODE), -1);
    EXPECT_EQ(open_file(nullptr, FIRMWARE_MODE), -1);
    EXPECT_EQ(open_file(nullptr, OPEN_CREATE), -1);
    EXPECT_EQ(open_file(path.c_str(), 0x43), -1);  // access value 3 does not exist

    // Anything but a regular file is refused at once: a FIFO without a writer would block
    // the open (and the window) for ever, a device node is never opened at all.
    const std::string fifo = folder.file("fifo.bin");
    ASSERT_EQ(std::system(("mkfifo '" + fifo + "'").c_str()), 0);
    for (const std::string& other : {fifo, std::string("/dev/null"), std::string("/dev/zero")}) {
        EXPECT_EQ(open_file(other.c_str(), FIRMWARE_MODE), -1) << other;
        EXPECT_EQ(open_file(other.c_str(), OPEN_READ_WRITE | SHARE_DENY_NONE), -1) << other;
    }
    EXPECT_EQ(open_file(fifo.c_str(), OPEN_CREATE), -1);
}

TEST_F(OpenFileTest, HandlesComeFromAFixedTable) {
    const std::string path = make_file("shared.bin", "abc");
    std::vector<int> handles;
    for (int i = 0; i < MAX_OPEN_FILES; ++i) {
        handles.push_back(open_file(path.c_str(), FIRMWARE_MODE));
        ASSERT_GT(handles.back(), 0);
    }
    EXPECT_EQ(open_file(path.c_str(), FIRMWARE_MODE), -1);
    EXPECT_EQ(file_close(handles[3]), 0);
    EXPECT_EQ(file_close(handles[3]), -1);
    EXPECT_EQ(file_read(handles[3], handles.data(), 1), -1);
    const int reused = open_file(path.c_str(), OPEN_READ_WRITE | SHARE_DENY_NONE);
    EXPECT_EQ(reused, handles[3]);
    EXPECT_EQ(file_write(reused, "xyz", 3), 3);
    handles[3] = reused;
    for (int handle : handles) EXPECT_EQ(file_close(handle), 0);
    EXPECT_EQ(content_of(path), "xyz");
    char byte = 0;
    for (int bad : {0, -1, MAX_OPEN_FILES + 1}) {
        EXPECT_EQ(file_read(bad, &byte, 1), -1);
        EXPECT_EQ(file_size(bad), -1);
        EXPECT_EQ(file_close(bad), -1);
    }
}

}  // namespace
}  // namespace korvel
