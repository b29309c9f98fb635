// The window's Win32 face on Wine's own platform (the real Win32 seams of os/): what it shows
// there, read back through Windows, and korvel-update.exe started as a program. Wine offers one
// host, its C: volume without a SCSI address, and no device on it; run as Windows 98 it offers
// no adapter at all.
#include "windows_platform.h"
#include "windows_util_platform.h"

#include "korvel_msg.h"
#include "korvel_running_text.h"
#include "korvel_runtime_flags.h"
#include "lib_font.h"
#include "lib_getwnver.h"
#include "one_copy.h"
#include "win32_main_window.h"
#include "win32_user_interface.h"
#include "wine_test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace korvel {
namespace {

using namespace controls;

std::string text_of(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return wine::utf8_from_wide(text);
}

int scaled(int design_pixels) {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return MulDiv(design_pixels, dpi, 96);
}

// Dispatches what waits until done() holds or five seconds have passed.
template <typename Done>
bool pump_until(Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(1);
    }
    return true;
}

class WineWin32Face : public ::testing::Test {
protected:
    void SetUp() override {
        install_os_platform();
        install_os_util_platform();
        forget_default_font_name();
        detect_system_language();
        select_message_language();
        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&classes);
        face_ = std::make_unique<Win32MainWindow>();
        ASSERT_TRUE(face_->create(GetModuleHandleW(nullptr)));
        install_win32_user_interface(face_->window());
        face_->show(SW_SHOWNORMAL);
        ASSERT_TRUE(pump_until([this] { return face_->form().shown(); }));
        ASSERT_TRUE(face_->form().service_started());
    }
    void TearDown() override {
        face_.reset();
        install_user_interface(nullptr);
    }
    HWND window() const { return face_->window(); }
    HWND control(int id) const { return GetDlgItem(face_->window(), id); }

    std::unique_ptr<Win32MainWindow> face_;
};

TEST_F(WineWin32Face, ControlsSitWhereTheWindowWasDesignedScaledForTheSystemDpi) {
    RECT client{};
    GetClientRect(window(), &client);
    EXPECT_EQ(client.right, scaled(462));
    EXPECT_EQ(client.bottom, scaled(368));
    EXPECT_EQ(GetWindowLongW(window(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);

    struct Place {
        int control, x, y, width, height;
    };
    for (const Place& place : {Place{Image_Main, 404, 12, 32, 32}, {Label_Main, 396, 48, 49, 19},
                               {GroupBox_Host, 4, 4, 361, 133}, {GroupBox_Target, 4, 140, 453, 189},
                               {BTN_Host_0 + 5, 100, 76, 85, 53}, {BTN_Target_0 + 14, 364, 268, 85, 53},
                               {BTN_UpdateKORVEL, 28, 336, 185, 25}, {BTN_Exit, 364, 336, 69, 25}}) {
        RECT area{};
        ASSERT_TRUE(GetWindowRect(control(place.control), &area)) << place.control;
        MapWindowPoints(nullptr, window(), reinterpret_cast<POINT*>(&area), 2);
        EXPECT_EQ(area.left, scaled(place.x)) << place.control;
        EXPECT_EQ(area.top, scaled(place.y)) << place.control;
        EXPECT_EQ(area.right - area.left, scaled(place.width)) << place.control;
        EXPECT_EQ(area.bottom - area.top, scaled(place.height)) << place.control;
    }

    // Pictures at the scaled size, the window's font at 12 pixels in the desktop's icon font.
    BUTTON_IMAGELIST host_picture{};
    SendMessageW(control(BTN_Host_0), BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&host_picture));
    int width = 0, height = 0;
    ASSERT_TRUE(ImageList_GetIconSize(host_picture.himl, &width, &height));
    EXPECT_EQ(width, scaled(32));
    EXPECT_NE(SendMessageW(control(Image_Main), STM_GETICON, 0, 0), 0);
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control(BTN_Exit), WM_GETFONT, 0, 0)),
               sizeof font, &font);
    char family[FONT_NAME_SIZE] = {};
    EXPECT_EQ(wine::utf8_from_wide(font.lfFaceName), default_font_name(family, sizeof family));
    EXPECT_EQ(font.lfHeight, -scaled(12));
}

// Runs once for each of the catalogue's languages (LANG set by ctest): every text reaches the
// controls through the W functions, whatever Wine's ANSI code page is.
TEST_F(WineWin32Face, ShowsWinesVolumeHostInTheRunsLanguage) {
    EXPECT_EQ(text_of(window()), "KORVEL Firmware Update");
    EXPECT_EQ(text_of(control(GroupBox_Host)), message_text(MSG_HOST_CARD));
    EXPECT_EQ(text_of(control(GroupBox_Target)), message_text(MSG_TARGET_DEVICE));
    EXPECT_EQ(text_of(control(BTN_UpdateKORVEL)), message_text(MSG_UPDATE_BUTTON));
    EXPECT_EQ(text_of(control(BTN_Exit)), message_text(MSG_EXIT_BUTTON));
    EXPECT_EQ(text_of(control(Label_Version)),
              std::to_string(KORVEL_VERSION_MAJOR) + "." + std::to_string(KORVEL_VERSION_MINOR) +
                  "." + std::to_string(KORVEL_VERSION_RELEASE) + "." +
                  std::to_string(KORVEL_VERSION_BUILD));

    // Host 0 (the volume) shown and chosen, no device on it, nothing to update.
    EXPECT_TRUE(IsWindowVisible(control(BTN_Host_0)));
    EXPECT_EQ(SendMessageW(control(BTN_Host_0), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(IsWindowVisible(control(BTN_Host_0 + 1)));
    for (int i = 0; i < TARGET_BUTTONS; ++i) EXPECT_FALSE(IsWindowVisible(control(BTN_Target_0 + i)));
    EXPECT_FALSE(IsWindowEnabled(control(BTN_UpdateKORVEL)));
    EXPECT_FALSE(IsWindowVisible(control(BTN_BackupKORVEL)));
}

TEST_F(WineWin32Face, OnlyARightPressWithCtrlAndShiftOnTheLogoTogglesTheTestMode) {
    const HWND logo = control(Image_Main);
    RECT area{};
    GetWindowRect(logo, &area);
    // The logo lets presses through to the window, as a real press on it arrives.
    EXPECT_EQ(SendMessageW(logo, WM_NCHITTEST, 0, MAKELPARAM(area.left + 1, area.top + 1)),
              HTTRANSPARENT);
    MapWindowPoints(nullptr, window(), reinterpret_cast<POINT*>(&area), 2);
    const LPARAM on_logo = MAKELPARAM((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    const LPARAM beside_logo = MAKELPARAM(area.left - 3, area.top);
    const HWND label = control(Label_FAETest);
    const auto press = [this](UINT message, WPARAM keys, LPARAM at) {
        SendMessageW(window(), message, keys, at);
    };

    press(WM_LBUTTONDOWN, MK_LBUTTON, on_logo);
    press(WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL | MK_SHIFT, on_logo);
    press(WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL, on_logo);
    press(WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL | MK_SHIFT, beside_logo);
    EXPECT_FALSE(IsWindowVisible(label));
    EXPECT_FALSE(fae_test_mode());

    press(WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL | MK_SHIFT, on_logo);
    EXPECT_TRUE(IsWindowVisible(label));
    EXPECT_TRUE(fae_test_mode());
    // A quick second press arrives as a double click and counts as a press.
    press(WM_RBUTTONDBLCLK, MK_RBUTTON | MK_CONTROL | MK_SHIFT, on_logo);
    EXPECT_FALSE(IsWindowVisible(label));
    EXPECT_FALSE(fae_test_mode());
}

TEST_F(WineWin32Face, EscapePressesExitWhichClosesTheWindow) {
    MSG escape{};
    escape.hwnd = control(BTN_Exit);
    escape.message = WM_KEYDOWN;
    escape.wParam = VK_ESCAPE;
    EXPECT_TRUE(face_->dialog_message(escape));
    EXPECT_TRUE(face_->form().closed());
    EXPECT_EQ(face_->window(), nullptr);
}

// --- korvel-update.exe -------------------------------------------------------------------------

struct WindowSearch {
    DWORD process;
    const wchar_t* window_class;
    HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM search_address) {
    auto& search = *reinterpret_cast<WindowSearch*>(search_address);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (process != search.process || lstrcmpW(name, search.window_class) != 0 ||
        !IsWindowVisible(window)) {
        return TRUE;
    }
    search.found = window;
    return FALSE;
}

// A shown top-level window of that class in the process, waited for up to 20 seconds.
HWND wait_for_window(DWORD process, const wchar_t* window_class) {
    for (int tries = 0; tries < 2000; ++tries) {
        WindowSearch search{process, window_class, nullptr};
        EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Sleep(10);
    }
    return nullptr;
}

// The built program, copied to path (UTF-8), started; its process information.
PROCESS_INFORMATION start_program_as(const std::string& path) {
    std::string built = std::string("Z:") + KORVEL_UPDATE_PROGRAM;
    for (char& c : built) c = c == '/' ? '\\' : c;
    PROCESS_INFORMATION started{};
    if (!wine::copy_file(built, path)) return started;
    wchar_t command[MAX_PATH * 2] = {};
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, command, MAX_PATH * 2);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    CreateProcessW(command, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                   &started);
    return started;
}

// The program's exit code, waited for up to 20 seconds; STILL_ACTIVE when it had not ended by
// then, and it is ended, so that no test after this one meets it running.
DWORD wait_for_exit(const PROCESS_INFORMATION& process) {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        TerminateProcess(process.hProcess, 2);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

class WineKorvelUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        install_os_platform();
        detect_system_language();
        select_message_language();
    }
};

TEST_F(WineKorvelUpdate, OpensItsWindowOverWinesVolumeAndEndsWithZeroWhenClosed) {
    wine::TempFolder folder;
    const auto start = std::chrono::steady_clock::now();
    const PROCESS_INFORMATION program = start_program_as(folder.file("korvel-update.exe"));
    ASSERT_NE(program.hProcess, nullptr);
    const HWND window = wait_for_window(program.dwProcessId, MAIN_WINDOW_CLASS);
    ASSERT_NE(window, nullptr);
    const auto shown = std::chrono::steady_clock::now();
    // The bus has been examined when the host's button shows.
    for (int tries = 0; tries < 2000 && !IsWindowVisible(GetDlgItem(window, BTN_Host_0)); ++tries) {
        Sleep(10);
    }
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, BTN_Host_0)));
    const auto scanned = std::chrono::steady_clock::now();
    std::printf("korvel-update.exe: window shown after %lld ms, bus examined after %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           shown - start).count()),
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           scanned - start).count()));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(wait_for_exit(program), 0u);
}

// As Windows 98 (prepare-wine.sh) the program asks Wine's wnaspi32.dll, which knows no adapter.
TEST_F(WineKorvelUpdate, SaysTheServiceFailedAndEndsWithOneWithoutAdapters) {
    wine::TempFolder folder;
    const PROCESS_INFORMATION program = start_program_as(folder.file("korvel-update-win98.exe"));
    ASSERT_NE(program.hProcess, nullptr);
    const HWND box = wait_for_window(program.dwProcessId, L"#32770");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(text_of(box), message_text(MSG_CAPTION_ERROR));
    EXPECT_EQ(text_of(GetDlgItem(box, 0xFFFF)), message_text(MSG_ASPI_START_FAILED));
    wchar_t owner_class[64] = {};
    GetClassNameW(GetWindow(box, GW_OWNER), owner_class, 64);
    EXPECT_STREQ(owner_class, MAIN_WINDOW_CLASS) << "the box belongs to the main window";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(wait_for_exit(program), 1u);
}

// --- one running copy of korvel-update.exe ------------------------------------------------------

// Whether the copies' mutex, its name after prefix, exists where this process looks.
bool copy_mutex_exists(const std::string& prefix) {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, (prefix + KORVEL_UPDATE_COPY_NAME).c_str());
    return mutex != nullptr && CloseHandle(mutex);
}

TEST_F(WineKorvelUpdate, ASecondCopyBringsTheFirstForwardAndEndsWithZero) {
    wine::TempFolder folder;
    const PROCESS_INFORMATION first = start_program_as(folder.file("korvel-update.exe"));
    const HWND window = wait_for_window(first.dwProcessId, MAIN_WINDOW_CLASS);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(copy_mutex_exists("Global\\"));
    EXPECT_FALSE(copy_mutex_exists("")) << "a name of this session's namespace";
    EXPECT_EQ(claim_one_copy(KORVEL_UPDATE_COPY_NAME), CopyClaim::taken);
    ShowWindow(window, SW_MINIMIZE);
    EXPECT_EQ(wait_for_exit(start_program_as(folder.file("second.exe"))), 0u);
    EXPECT_FALSE(IsIconic(window)) << "the second copy brought the first forward";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(wait_for_exit(first), 0u);
    EXPECT_EQ(claim_one_copy(KORVEL_UPDATE_COPY_NAME), CopyClaim::claimed);
    release_one_copy();
}

// The claim held here, as another session's copy would hold it, and a window of the class
// shown that is not the running copy's (korvel-sim.exe's): the copy says in a box of its own
// that the program runs and ends with 1. As Windows 98 it claims the name without a namespace.
TEST_F(WineKorvelUpdate, SaysItIsAlreadyRunningWhenNoWindowShowsAndEndsWithOne) {
    Win32MainWindow not_the_copy;
    ASSERT_TRUE(not_the_copy.create(GetModuleHandleW(nullptr)));
    ShowWindow(not_the_copy.window(), SW_SHOWNOACTIVATE);
    wine::TempFolder folder;
    for (const bool windows_98 : {false, true}) {
        SCOPED_TRACE(windows_98 ? "Windows 98" : "Windows NT");
        HANDLE bare = nullptr;
        if (windows_98) {
            bare = CreateMutexA(nullptr, FALSE, KORVEL_UPDATE_COPY_NAME);
        } else {
            ASSERT_EQ(claim_one_copy(KORVEL_UPDATE_COPY_NAME), CopyClaim::claimed);
        }
        const PROCESS_INFORMATION copy = start_program_as(
            folder.file(windows_98 ? "korvel-update-win98.exe" : "korvel-update.exe"));
        const HWND box = wait_for_window(copy.dwProcessId, L"#32770");
        EXPECT_EQ(text_of(box), message_text(MSG_CAPTION_INFORMATION));
        EXPECT_EQ(text_of(GetDlgItem(box, 0xFFFF)), already_running_text());
        EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "no window of its own";
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(wait_for_exit(copy), 1u);
        release_one_copy();
        if (bare != nullptr) CloseHandle(bare);
    }
}

}  // namespace
}  // namespace korvel
