// korvel-sim.exe: korvel-sim with the native Win32 face, the window of korvel-update.exe over
// the simulated system (see harness/korvel_sim_main.h for what it does and its command line).
// A console program, so that a script's runner reads its messages and exit code.
#include "korvel_sim_main.h"
#include "sim_script_run.h"
#include "sim_window.h"
// After the seam's headers: <windows.h> defines macros named like some of their constants.
#include "win32_main_window.h"
#include "win32_program.h"
#include "win32_screenshots.h"
#include "win32_text.h"
#include "win32_user_interface.h"

#include <array>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace korvel {

namespace {

// The SimWindow of a scripted run over the Win32 window's controls.
class Win32SimWindow final : public SimWindow {
public:
    explicit Win32SimWindow(Win32MainWindow& window) : window_(window) { current = this; }
    ~Win32SimWindow() override { current = nullptr; }
    Win32SimWindow(const Win32SimWindow&) = delete;
    Win32SimWindow& operator=(const Win32SimWindow&) = delete;

    const MainForm& form() const override { return window_.form(); }
    bool shown() const override {
        return window_.window() != nullptr && IsWindowVisible(window_.window());
    }
    bool control_shown(int control) const override { return state_of(control).shown; }
    bool control_enabled(int control) const override { return state_of(control).enabled; }
    std::string control_text(int control) const override { return state_of(control).text; }
    std::string control_hint(int control) const override { return state_of(control).hint; }

    void click(int control) override {
        // The notification a click on the button sends its window.
        SendMessageW(window_.window(), WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                     reinterpret_cast<LPARAM>(item_of(control)));
    }
    void fae_gesture() override {
        // A press and a release of the right button in the middle of the logo, Ctrl and Shift
        // held, as the mouse sends them to the window under the (transparent) logo.
        RECT area{};
        GetWindowRect(item_of(controls::Image_Main), &area);
        MapWindowPoints(nullptr, window_.window(), reinterpret_cast<POINT*>(&area), 2);
        const LPARAM at = MAKELPARAM((area.left + area.right) / 2, (area.top + area.bottom) / 2);
        SendMessageW(window_.window(), WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL | MK_SHIFT, at);
        SendMessageW(window_.window(), WM_RBUTTONUP, MK_CONTROL | MK_SHIFT, at);
    }
    void close() override {
        // A closed Win32 window is destroyed with its controls, while a closed Qt window only
        // hides them: from then on the controls answer as they were when the window closed.
        closed_.clear();
        for (const int first : {controls::Form_Main, controls::BTN_Host_0, controls::BTN_Target_0}) {
            for (int control = first; control < first + TARGET_BUTTONS; ++control) {
                closed_.emplace(control, live_state_of(control));
            }
        }
        SendMessageW(window_.window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    void answer_file_dialog(std::function<std::optional<std::string>()> answer) override {
        window_.answer_file_dialog(std::move(answer));
    }

    void post(std::function<void()> task) override {
        tasks_.push_back(std::move(task));
        // A thread timer runs in any message loop of the thread, the modal ones included.
        SetTimer(nullptr, 0, 0, run_posted);
    }
    void quit(int code) override { PostQuitMessage(code); }
    void process_events() override { win32_user_interface().process_pending_messages(); }

private:
    static void CALLBACK run_posted(HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        if (current == nullptr || current->tasks_.empty()) return;
        std::function<void()> task = std::move(current->tasks_.front());
        current->tasks_.pop_front();
        task();
    }

    struct ControlState {
        bool shown = false;
        bool enabled = false;
        std::string text;
        std::string hint;
    };

    HWND item_of(int control) const {
        return window_.window() != nullptr ? GetDlgItem(window_.window(), control) : nullptr;
    }

    ControlState state_of(int control) const {
        if (window_.window() == nullptr || !IsWindow(window_.window())) {
            const auto closed = closed_.find(control);
            return closed != closed_.end() ? closed->second : ControlState{};
        }
        return live_state_of(control);
    }

    ControlState live_state_of(int control) const {
        ControlState state;
        const HWND item = item_of(control);
        if (item == nullptr) return state;
        state.shown = (GetWindowLongW(item, GWL_STYLE) & WS_VISIBLE) != 0;
        state.enabled = IsWindowEnabled(item) != FALSE;
        std::array<wchar_t, 1024> wide{};
        GetWindowTextW(item, wide.data(), static_cast<int>(wide.size()));
        std::array<char, 4 * 1024> text{};
        if (utf8_text(wide.data(), text.data(), text.size())) state.text = text.data();
        state.hint = window_.hint_text(control);
        return state;
    }

    static inline Win32SimWindow* current = nullptr;
    Win32MainWindow& window_;
    std::deque<std::function<void()>> tasks_;
    std::map<int, ControlState> closed_;
};

class Win32SimFace final : public SimFace {
public:
    int run(SimFaceStart& start) override {
        // Windows has no toolkit options of its own to pass on.
        if (start.toolkit_arguments.size() > 2) {
            sim_say("unknown argument " + std::string(start.toolkit_arguments[1]) +
                    "; usage: korvel-sim [--bus BUS.json] [--script SCRIPT.json --journal "
                    "OUT.jsonl] | korvel-sim --screenshots DIR TAG");
            return 2;
        }
        return run_win32_program(GetModuleHandleW(nullptr), SW_SHOWNORMAL,
                                 [&](Win32MainWindow& window) {
                                     window.form().set_firmware_folder(start.firmware_folder);
                                     if (start.scripted != nullptr) {
                                         window_.emplace(window);
                                         start.scripted->begin(*window_);
                                     } else if (!start.screenshot_folder.empty()) {
                                         take_win32_screenshots(window, start.screenshot_folder,
                                                                start.screenshot_tag,
                                                                start.firmware_folder);
                                     }
                                 });
    }

private:
    std::optional<Win32SimWindow> window_;
};

}  // namespace

}  // namespace korvel

// The arguments as UTF-8 whatever the system's code page.
int main() {
    std::vector<std::string> texts = korvel::utf8_arguments();
    if (texts.empty()) return 2;
    std::vector<char*> arguments;
    for (std::string& text : texts) arguments.push_back(text.data());
    arguments.push_back(nullptr);
    korvel::Win32SimFace face;
    return korvel::korvel_sim_main(static_cast<int>(texts.size()), arguments.data(), face);
}
