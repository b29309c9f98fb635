// The Win32 window under Wine keeps handling its messages while the demo's bridges take 800 ms
// per write: a 10 ms timer keeps ticking through a PV70 update (sixteen writes) and a PV20
// update, and the progress bar only goes forward and reaches the end. At every tick of the
// writes the machine is kept awake and the window refuses to let the session end; while the
// open dialog is up, and after the update, neither.
#include "demo_bus.h"
#include "korvel_msg.h"
#include "lib_getwnver.h"
#include "sim_platform.h"
#include "windows_util_platform.h"
#include "write_span_hold.h"
// After the seam's headers: <windows.h> defines macros named like some of their constants.
#include "win32_main_window.h"
#include "win32_user_interface.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <vector>

namespace korvel {
namespace {

using Clock = std::chrono::steady_clock;

// Under plain emulation (the 32-bit stage's QEMU guest) everything runs several times slower.
// KORVEL_TEST_TIME_SCALE stretches the writes and the bound alike, so that a write that held
// the window up would still show as a gap far above the bound.
std::uint32_t time_scale() {
    const char* text = std::getenv("KORVEL_TEST_TIME_SCALE");
    const long scale = text != nullptr ? std::strtol(text, nullptr, 10) : 1;
    return scale >= 1 && scale <= 10 ? static_cast<std::uint32_t>(scale) : 1;
}
const std::uint32_t WRITE_MS = 800 * time_scale();
const long long GAP_BOUND_MS = 300 * static_cast<long long>(time_scale());

// Whether the thread's execution state keeps the machine awake until further notice. A call
// without ES_CONTINUOUS changes nothing that lasts and gives back the state.
bool kept_awake() {
    const EXECUTION_STATE state = SetThreadExecutionState(ES_SYSTEM_REQUIRED);
    return (state & (ES_CONTINUOUS | ES_SYSTEM_REQUIRED)) == (ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}

// Whether the window would let Windows end the session now.
bool lets_session_end(HWND window) {
    return SendMessageW(window, WM_QUERYENDSESSION, 0, 0) != FALSE;
}

// What the ticking timer and the boxes saw.
struct Watch {
    HWND bar = nullptr;
    Clock::time_point last_tick;
    long long longest_gap_ms = 0;
    std::vector<int> shown_values;
    HWND window = nullptr;
    int ticks = 0;
    int ticks_unheld = 0;  ///< ticks of the writes with the machine free to sleep or shut down

    void look() {
        if (bar == nullptr || !IsWindowVisible(bar)) return;
        const auto value = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
        if (shown_values.empty() || shown_values.back() != value) shown_values.push_back(value);
    }
};
Watch watch;

void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
    const Clock::time_point now = Clock::now();
    const auto gap =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - watch.last_tick).count();
    watch.longest_gap_ms = std::max(watch.longest_gap_ms, gap);
    watch.last_tick = now;
    watch.look();
    ++watch.ticks;
    if (!kept_awake() || lets_session_end(watch.window)) ++watch.ticks_unheld;
}

// A person who answers Yes to the question and OK to the rest at once, and whose window
// handles its messages as Windows' own user interface does.
class QuickPerson final : public UserInterface {
public:
    void bring_to_front() override {}
    int message_box(const char*, const char*, std::uint32_t flags) override {
        watch.look();
        return (flags & MB_TYPE_MASK) == MB_YES_NO ? ID_YES : ID_OK;
    }
    void process_pending_messages() override {
        win32_user_interface().process_pending_messages();
    }
};

class WineResponsive : public ::testing::Test {
protected:
    void SetUp() override {
        demo_ = lay_out_demo_bus(sim_);
        for (const DemoDevice& device : demo_.devices) {
            if (device.bridge != nullptr) device.bridge->add_answer_time({0x3B}, WRITE_MS);
        }
        // A folder of this process's own: ctest runs the cases side by side, and one case's
        // clean-up must not take another's sample files away in the middle of its update.
        folder_ = std::filesystem::temp_directory_path() /
                  ("korvel-wine-responsive-" + std::to_string(GetCurrentProcessId()));
        ASSERT_TRUE(write_demo_firmware_files(demo_, folder_));
        sim_.install();
        install_os_util_platform();
        install_os_write_span_hold();
        detect_system_language();
        select_message_language();
        INITCOMMONCONTROLSEX classes{sizeof classes,
                                     ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&classes);
        install_win32_user_interface(nullptr);
        ASSERT_TRUE(face_.create(GetModuleHandleW(nullptr)));
        set_write_span_window(reinterpret_cast<std::uintptr_t>(face_.window()));
        install_user_interface(&person_);
        face_.show(SW_SHOWNORMAL);
        const Clock::time_point end = Clock::now() + std::chrono::seconds(10);
        while (!face_.form().shown() && Clock::now() < end) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            Sleep(1);
        }
        ASSERT_TRUE(face_.form().service_started());
    }
    void TearDown() override {
        if (IsWindow(face_.window())) DestroyWindow(face_.window());
        install_user_interface(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    // Selects the demo's bridge of the family on adapter 0 and updates it with its sample file.
    void update(std::int32_t family) {
        const MainForm& form = face_.form();
        int index = -1;
        for (int i = 0; i < form.target_count(); ++i) {
            if (form.target_record(i).family_code == family) index = i;
        }
        ASSERT_GE(index, 0);
        std::string sample;
        for (const DemoDevice& device : demo_.devices) {
            if (device.family_code == family && device.host == 0) {
                sample = (folder_ / device.sample_file).string();
            }
        }
        face_.answer_file_dialog([this, sample]() -> std::optional<std::string> {
            // The dialog is up: nothing is written yet, so nothing holds the session.
            EXPECT_FALSE(kept_awake());
            EXPECT_TRUE(lets_session_end(face_.window()));
            return sample;
        });
        click(controls::BTN_Target_0 + index);
        click(controls::BTN_UpdateKORVEL);
    }

    void click(int control) {
        SendMessageW(face_.window(), WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(face_.window(), control)));
    }

    SimPlatform sim_;
    DemoBus demo_;
    std::filesystem::path folder_;
    QuickPerson person_;
    Win32MainWindow face_;
};

TEST_F(WineResponsive, ATimerKeepsTickingThroughSlowWritesOfPv70AndPv20) {
    for (const std::int32_t family : {FAMILY_PV70, FAMILY_PV20_QTRL}) {
        watch = Watch{GetDlgItem(face_.window(), controls::Progress_Update), Clock::now(), 0, {},
                      face_.window()};
        const UINT_PTR timer = SetTimer(nullptr, 0, 10, tick);
        const Clock::time_point start = Clock::now();
        update(family);
        KillTimer(nullptr, timer);
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        std::printf("family %d: update %lld ms, longest gap between ticks %lld ms\n",
                    static_cast<int>(family), took, watch.longest_gap_ms);
        EXPECT_GE(took, static_cast<long long>(WRITE_MS)) << family;
        EXPECT_LT(watch.longest_gap_ms, GAP_BOUND_MS) << family;
        EXPECT_TRUE(face_.form().firmware_written()) << family;
        EXPECT_TRUE(std::is_sorted(watch.shown_values.begin(), watch.shown_values.end()))
            << family;
        ASSERT_FALSE(watch.shown_values.empty()) << family;
        EXPECT_EQ(watch.shown_values.back(), 100) << family;
        EXPECT_FALSE(IsWindowVisible(watch.bar)) << family;
        EXPECT_GT(watch.ticks, 0) << family;
        EXPECT_EQ(watch.ticks_unheld, 0) << family;
        EXPECT_FALSE(kept_awake()) << family;
        EXPECT_TRUE(lets_session_end(face_.window())) << family;
    }
}

// Tracking the next target button sets off the first one's leave, late: the next one's hint stays.
TEST_F(WineResponsive, ALateLeaveOfTheLastTargetButtonLeavesTheNextOnesHint) {
    const HWND first = GetDlgItem(face_.window(), controls::BTN_Target_0);
    const HWND next = GetDlgItem(face_.window(), controls::BTN_Target_0 + 1);
    for (const auto& [button, message] : {std::pair<HWND, UINT>{first, WM_MOUSEMOVE},
             {first, WM_MOUSEHOVER}, {next, WM_MOUSEMOVE}, {next, WM_MOUSEHOVER},
             {first, WM_MOUSELEAVE}, {next, WM_MOUSEMOVE}}) {
        SendMessageW(button, message, 0, 0);
    }
    HWND hint = nullptr;  // the window's tooltip among every program's
    do hint = FindWindowExW(nullptr, hint, TOOLTIPS_CLASSW, nullptr);
    while (hint != nullptr && GetWindow(hint, GW_OWNER) != face_.window());
    EXPECT_TRUE(IsWindowVisible(hint));
}

}  // namespace
}  // namespace korvel
