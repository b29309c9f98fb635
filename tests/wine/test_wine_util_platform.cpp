// The utilities over the Windows platform, against Wine: version resources (the test
// program's own, which is the program's resource script, and a DLL's), the icon title font,
// files opened by mode with Windows' sharing rules, and the foreground handling of a message
// box.
#include "lib_font.h"
#include "lib_getfilever.h"
#include "lib_global.h"
#include "util_platform_seam.h"
#include "windows_foreground.h"
#include "windows_util_platform.h"
#include "wine_test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

namespace korvel {
namespace {

using wine::TempFolder;

class WineUtilities : public ::testing::Test {
protected:
    void SetUp() override {
        install_os_util_platform();
        forget_default_font_name();
    }
    void TearDown() override {
        install_util_platform(UtilPlatform{});
        forget_default_font_name();
    }
};

std::string project_version() {
    return std::to_string(KORVEL_VERSION_MAJOR) + "." + std::to_string(KORVEL_VERSION_MINOR) +
           "." + std::to_string(KORVEL_VERSION_RELEASE) + "." +
           std::to_string(KORVEL_VERSION_BUILD);
}

TEST_F(WineUtilities, OwnVersionResourceCarriesTheProjectVersion) {
    const std::string own = wine::own_executable();
    char text[VERSION_TEXT_SIZE] = "junk";
    std::uint8_t debug = 9;
    EXPECT_EQ(version_text(own.c_str(), text, sizeof text, &debug), 1);
    EXPECT_EQ(std::string(text), project_version());
    EXPECT_EQ(debug, 0);
}

TEST_F(WineUtilities, VersionNumbersAndDebugFlagOfAnotherFile) {
    const std::string dll = wine::own_folder() + "\\wine_version_fixture.dll";
    char text[VERSION_TEXT_SIZE] = "junk";
    std::uint8_t debug = 0;
    EXPECT_EQ(version_text(dll.c_str(), text, sizeof text, &debug), 1);
    EXPECT_STREQ(text, "1.0.12.300");
    EXPECT_EQ(debug, 1) << "VS_FF_DEBUG is set in the flags, though not in the mask";
    std::uint32_t major = 0, minor = 0, release = 0, build = 0;
    EXPECT_EQ(file_version(dll.c_str(), major, minor, release, build), 1);
    EXPECT_EQ(major, 1u);
    EXPECT_EQ(minor, 0u);
    EXPECT_EQ(release, 12u);
    EXPECT_EQ(build, 300u);

    // The same file in a folder named in Chinese and Japanese.
    TempFolder folder;
    const std::string copy = folder.file("韌體.dll");
    ASSERT_TRUE(wine::copy_file(dll, copy));
    EXPECT_EQ(version_text(copy.c_str(), text, sizeof text), 1);
    EXPECT_STREQ(text, "1.0.12.300");
}

TEST_F(WineUtilities, FileWithoutVersionResourceGivesAnEmptyText) {
    TempFolder folder;
    const std::string plain = folder.file("image.bin");
    ASSERT_TRUE(wine::write_file(plain, std::string(4096, '\x5A')));
    char text[VERSION_TEXT_SIZE] = "1.2.3.4";
    std::uint8_t debug = 7;
    EXPECT_EQ(version_text(plain.c_str(), text, sizeof text, &debug), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(debug, 7) << "nothing is written without a resource";
    std::strcpy(text, "1.2.3.4");
    EXPECT_EQ(version_text(folder.file("missing.exe").c_str(), text, sizeof text), 0);
    EXPECT_STREQ(text, "");
}

TEST_F(WineUtilities, ManifestAsksForAdministratorRights) {
    // RT_MANIFEST (24), resource 1: the manifest Windows reads when the program starts.
    const HMODULE own = GetModuleHandleA(nullptr);
    const HRSRC resource = FindResourceA(own, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(resource, nullptr);
    const HGLOBAL loaded = LoadResource(own, resource);
    ASSERT_NE(loaded, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(loaded)),
                               SizeofResource(own, resource));
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"requireAdministrator\""),
              std::string::npos);
    // And the icon the program shows.
    EXPECT_NE(FindResourceA(own, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14)), nullptr);
}

TEST_F(WineUtilities, DefaultFontIsTheIconTitleFontInUtf8) {
    LOGFONTW expected{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof expected, &expected, 0));
    char first[FONT_NAME_SIZE];
    char second[FONT_NAME_SIZE];
    default_font_name(first, sizeof first);
    EXPECT_EQ(std::string(first), wine::utf8_from_wide(expected.lfFaceName));
    EXPECT_STRNE(first, "");
    EXPECT_STREQ(default_font_name(second, sizeof second), first);
}

constexpr std::int32_t FIRMWARE_MODE = OPEN_READ | SHARE_DENY_NONE;  // 64

TEST_F(WineUtilities, CreateModeEmptiesAndOpensForReadingAndWriting) {
    TempFolder folder;
    const std::string path = folder.file("備份.bin");
    ASSERT_TRUE(wine::write_file(path, "old firmware image"));
    const int handle = open_file(path.c_str(), OPEN_CREATE);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(file_size(handle), 0);
    EXPECT_EQ(wine::read_file(path), "");
    EXPECT_EQ(file_write(handle, "PVM-070", 7), 7);
    EXPECT_EQ(file_seek(handle, 0, SEEK_FROM_START), 0);
    char back[16] = {};
    EXPECT_EQ(file_read(handle, back, sizeof back), 7);
    EXPECT_STREQ(back, "PVM-070");
    EXPECT_EQ(file_close(handle), 0);
    EXPECT_EQ(wine::read_file(path), "PVM-070");

    const int fresh = open_file(folder.file("new.bin").c_str(), OPEN_CREATE);
    EXPECT_GT(fresh, 0);
    file_close(fresh);
    EXPECT_EQ(open_file(folder.file("no\\such\\folder.bin").c_str(), OPEN_CREATE), -1);
}

TEST_F(WineUtilities, FirmwareModeReadsAnExistingFileOnly) {
    TempFolder folder;
    std::string image(3000, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
    const std::string path = folder.file("ファーム.bin");
    ASSERT_TRUE(wine::write_file(path, image));
    const int handle = open_file(path.c_str(), FIRMWARE_MODE);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(file_size(handle), 3000);
    std::string buffer(4000, 'x');
    EXPECT_EQ(file_read(handle, buffer.data(), 1000), 1000);
    EXPECT_EQ(file_seek(handle, 0, SEEK_FROM_CURRENT), 1000);
    EXPECT_EQ(file_read(handle, buffer.data() + 1000, 3000), 2000);
    EXPECT_EQ(buffer.substr(0, 3000), image);
    EXPECT_EQ(file_write(handle, "x", 1), -1) << "opened for reading only";
    EXPECT_EQ(file_seek(handle, -10, SEEK_FROM_END), 2990);
    EXPECT_EQ(file_close(handle), 0);

    EXPECT_EQ(open_file(folder.file("missing.bin").c_str(), FIRMWARE_MODE), -1);
    EXPECT_EQ(open_file(folder.path().c_str(), FIRMWARE_MODE), -1) << "a folder is no file";
    EXPECT_EQ(open_file(path.c_str(), 0x43), -1) << "access value 3 does not exist";
    EXPECT_EQ(open_file(nullptr, FIRMWARE_MODE), -1);
    EXPECT_EQ(open_file("\xC3\x28.bin", FIRMWARE_MODE), -1) << "not UTF-8";

    // Names that open something other than a file on a disk are refused at once, never read.
    const HANDLE pipe = CreateNamedPipeW(L"\\\\.\\pipe\\korvel-firmware", PIPE_ACCESS_OUTBOUND,
                                         PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open_file("\\\\.\\pipe\\korvel-firmware", FIRMWARE_MODE), -1);
    CloseHandle(pipe);
    EXPECT_EQ(open_file("NUL", FIRMWARE_MODE), -1);
    EXPECT_EQ(open_file("CONIN$", FIRMWARE_MODE), -1);
}

TEST_F(WineUtilities, SharingModesAreWindowsOwn) {
    TempFolder folder;
    const std::string path = folder.file("shared.bin");
    ASSERT_TRUE(wine::write_file(path, "abc"));

    // Exclusive: nobody else may open the file meanwhile.
    const int exclusive = open_file(path.c_str(), OPEN_READ | SHARE_EXCLUSIVE);
    ASSERT_GT(exclusive, 0);
    EXPECT_EQ(open_file(path.c_str(), FIRMWARE_MODE), -1);
    file_close(exclusive);

    // Deny write: others may read, not write.
    const int deny_write = open_file(path.c_str(), OPEN_READ | SHARE_DENY_WRITE);
    ASSERT_GT(deny_write, 0);
    const int reader = open_file(path.c_str(), FIRMWARE_MODE);
    EXPECT_GT(reader, 0);
    EXPECT_EQ(open_file(path.c_str(), OPEN_READ_WRITE | SHARE_DENY_NONE), -1);
    file_close(reader);
    file_close(deny_write);

    // Deny read: others may write, not read.
    const int deny_read = open_file(path.c_str(), OPEN_WRITE | SHARE_DENY_READ);
    ASSERT_GT(deny_read, 0);
    EXPECT_EQ(open_file(path.c_str(), FIRMWARE_MODE), -1);
    file_close(deny_read);

    // The firmware mode lets another program write the file while it is read.
    const int firmware = open_file(path.c_str(), FIRMWARE_MODE);
    ASSERT_GT(firmware, 0);
    const int writer = open_file(path.c_str(), OPEN_READ_WRITE | SHARE_DENY_NONE);
    EXPECT_GT(writer, 0);
    EXPECT_EQ(file_write(writer, "xyz", 3), 3);
    char back[4] = {};
    EXPECT_EQ(file_read(firmware, back, 3), 3);
    EXPECT_STREQ(back, "xyz");
    file_close(writer);
    file_close(firmware);
}

LRESULT CALLBACK plain_window_procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    return DefWindowProcW(window, message, w, l);
}

HWND make_window(const wchar_t* title) {
    static ATOM window_class = 0;
    if (window_class == 0) {
        WNDCLASSW description{};
        description.lpfnWndProc = plain_window_procedure;
        description.hInstance = GetModuleHandleW(nullptr);
        description.lpszClassName = L"KorvelWineTestWindow";
        window_class = RegisterClassW(&description);
    }
    HWND window = CreateWindowExW(0, L"KorvelWineTestWindow", title, WS_OVERLAPPEDWINDOW, 10,
                                  10, 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr),
                                  nullptr);
    if (window != nullptr) ShowWindow(window, SW_SHOWNORMAL);
    return window;
}

TEST(WineForeground, MinimisedWindowComesBackToTheFrontBeforeTheMessageBox) {
    const HWND main_window = make_window(L"KORVEL Firmware Update");
    ASSERT_NE(main_window, nullptr) << "Wine needs a display driver (null) for windows";
    const HWND other = make_window(L"another program");
    ASSERT_NE(other, nullptr);
    ShowWindow(main_window, SW_MINIMIZE);
    SetForegroundWindow(other);
    ASSERT_TRUE(IsIconic(main_window));
    ASSERT_EQ(GetForegroundWindow(), other);

    bring_window_to_front(reinterpret_cast<std::uintptr_t>(main_window));
    EXPECT_FALSE(IsIconic(main_window));
    EXPECT_TRUE(IsWindowVisible(main_window));
    EXPECT_EQ(GetForegroundWindow(), main_window);
    EXPECT_EQ(GetActiveWindow(), main_window);

    bring_window_to_front(0);  // no window: nothing happens
    EXPECT_EQ(GetForegroundWindow(), main_window);
    DestroyWindow(other);
    DestroyWindow(main_window);
}

}  // namespace
}  // namespace korvel
