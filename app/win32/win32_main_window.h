// The main window's native Win32 face: one window whose controls are created once with their
// identifiers from korvel::controls, at the positions and sizes the window was designed with
// (a client area of 462 x 368 at 96 DPI), scaled for the system DPI. It implements the
// MainView the form speaks to; the window procedure hands each message to the handler named
// after it, and the handlers hand each control's event to the form's handler of that name.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "korvel_main_form.h"
#include "korvel_main_layout.h"
#include "korvel_main_view.h"

namespace korvel {

/// The window class of the main window.
inline constexpr const wchar_t* MAIN_WINDOW_CLASS = L"KorvelUpdateMainWindow";

/// Sent to the main window after its first showing: the form's FormShow runs then.
inline constexpr UINT WM_KORVEL_FORM_SHOW = WM_APP + 1;

class Win32MainWindow final : private MainView {
public:
    Win32MainWindow();
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    /// Registers the window class, creates the window and its controls and runs the form's
    /// FormCreate. The window is not shown yet. False when Windows refused the window.
    bool create(HINSTANCE instance);
    /// Shows the window, paints it and queues the form's FormShow behind the first paint.
    void show(int show_command);
    /// Gives the window's keyboard handling (Tab, arrows, mnemonics, Escape) its look at a
    /// message of the loop; true when the message was used and must not be dispatched.
    bool dialog_message(MSG& message);

    HWND window() const { return window_; }
    /// Marks the window as korvel-update's running copy, the one a second start brings forward;
    /// korvel-sim's windows, of the same class, stay unmarked. Call after create.
    void mark_running_copy();
    /// The shown window of korvel-update's running copy on this session's desktop; null when
    /// there is none.
    static HWND find_running_copy();
    MainForm& form() { return form_; }
    const MainForm& form() const { return form_; }
    /// Whether an exception reached the window procedure during the run.
    bool exception_seen() const { return exception_seen_; }
    /// The hint a target button shows, UTF-8; empty for other controls.
    std::string hint_text(int control) const;
    /// From now on the open dialog is not shown: it returns what answer gives (nothing for a
    /// cancelled dialog). For korvel-sim's scripted runs.
    void answer_file_dialog(std::function<std::optional<std::string>()> answer) {
        file_dialog_answer_ = std::move(answer);
    }

private:
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam);
    static LRESULT CALLBACK target_button_procedure(HWND button, UINT message, WPARAM wparam,
                                                    LPARAM lparam);
    LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);
    /// Shows an exception that reached the window procedure and ends the message loop.
    void report_failure(const char* text);

    // Message handlers.
    LRESULT OnCreate();
    void OnDestroy();
    void OnClose();
    LRESULT OnQueryEndSession();
    void OnCommand(int control, int notification);
    LRESULT OnCtlColorStatic(HDC dc, HWND control);
    LRESULT OnSetCursor(WPARAM wparam, LPARAM lparam);
    void OnMouseDown(MouseButton button, WPARAM wparam, LPARAM lparam);
    void OnActivate(WPARAM wparam);
    void OnTimer(UINT_PTR timer);
    void OnFormShow();
    /// Mouse messages of a target button, for its hint.
    void OnTargetButtonMouse(HWND button, UINT message);

    // MainView
    void set_caption(int control, const char* text) override;
    void set_picture(int control, int picture) override;
    void set_hint(int control, const char* text) override;
    void set_shown(int control, bool shown) override;
    void set_checked(int control) override;
    void set_enabled(int control, bool enabled) override;
    void set_focus(int control) override;
    void set_font(const char* family) override;
    void set_busy(bool busy) override;
    std::string choose_firmware_file(const char* filter, const std::string& folder) override;
    void set_progress(bool shown, int percent, const char* text) override;
    void close_window() override;

    int scaled(int design_pixels) const;
    HWND create_control(const wchar_t* window_class, int control, DWORD style, layout::Box box,
                        const wchar_t* text = L"");
    void create_controls();
    void load_pictures();
    /// Centres the logo's labels under it, measured in the window's font.
    void lay_out_logo_labels();
    void show_hint(HWND button);
    void hide_hint();

    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND focus_ = nullptr;  ///< the control that takes the focus when the window is activated
    int dpi_ = 96;
    int picture_size_ = 32;
    HFONT font_ = nullptr;
    HBRUSH logo_brush_ = nullptr;
    HBRUSH fae_brush_ = nullptr;
    HICON application_icon_ = nullptr;
    HICON small_icon_ = nullptr;
    /// One image list per button picture (device pictures, then the host adapter card): the
    /// picture for every state of a button, greyed for a disabled one.
    std::array<HIMAGELIST, DEVICE_PICTURES + 1> pictures_{};

    bool busy_ = false;
    bool exception_seen_ = false;
    bool form_show_queued_ = false;
    HWND hint_button_ = nullptr;  ///< the target button the pointer is over, if any
    bool hint_shown_ = false;
    std::array<std::array<wchar_t, 1024>, TARGET_BUTTONS> hints_{};
    std::array<wchar_t, 32768> file_name_{};
    std::array<wchar_t, 1024> folder_{};
    std::array<wchar_t, 512> filter_{};

    std::function<std::optional<std::string>()> file_dialog_answer_;

    MainForm form_;
};

}  // namespace korvel
