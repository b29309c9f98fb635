// What the main window's form asks of the screen. A face (Qt on Linux, Win32 on Windows)
// implements it over its toolkit's controls; the form never sees a toolkit type.
//
// Controls are named by their identifiers below, which are also the Win32 control
// identifiers. Texts are UTF-8.
#pragma once

#include <string>

namespace korvel {

/// The main window's controls, by name. Host and target buttons count up from their first.
namespace controls {
inline constexpr int Form_Main = 100;  ///< the window itself: its caption is the title
inline constexpr int Image_Main = 101;
inline constexpr int Label_Main = 102;
inline constexpr int Label_Version = 103;
inline constexpr int Label_FAETest = 104;
inline constexpr int GroupBox_Host = 105;
inline constexpr int GroupBox_Target = 106;
inline constexpr int BTN_UpdateKORVEL = 107;
inline constexpr int BTN_BackupKORVEL = 108;
inline constexpr int BTN_Exit = 109;
inline constexpr int Progress_Update = 110;  ///< the update's progress bar
inline constexpr int Label_Progress = 111;   ///< the line over it saying what is happening
inline constexpr int BTN_Host_0 = 200;    ///< BTN_Host_0 .. BTN_Host_7
inline constexpr int BTN_Target_0 = 300;  ///< BTN_Target_0 .. BTN_Target_14
}  // namespace controls

/// Host adapter buttons and target buttons the window offers.
inline constexpr int HOST_BUTTONS = 8;
inline constexpr int TARGET_BUTTONS = 15;

/// Pictures a control can show: the device pictures by device type (10 for every type
/// without its own), the host adapter card and the application's logo.
inline constexpr int DEVICE_PICTURES = 11;
inline constexpr int PICTURE_UNKNOWN_DEVICE = 10;
inline constexpr int PICTURE_HOST_ADAPTER = 11;
inline constexpr int PICTURE_APPLICATION = 12;

/// Mouse buttons, and the keys held down with a press (any combination of the KEY_ bits).
enum class MouseButton { left, right, middle, other };
inline constexpr unsigned KEY_SHIFT = 0x1;
inline constexpr unsigned KEY_CONTROL = 0x2;
inline constexpr unsigned KEY_ALT = 0x4;
inline constexpr unsigned KEY_META = 0x8;

class MainView {
public:
    virtual ~MainView() = default;

    /// The caption of a control (the window's title for controls::Form_Main, a label's text).
    virtual void set_caption(int control, const char* text) = 0;
    /// The picture a button or the logo shows (a PICTURE_ or device picture index).
    virtual void set_picture(int control, int picture) = 0;
    /// The hint a control shows when the pointer rests on it.
    virtual void set_hint(int control, const char* text) = 0;
    virtual void set_shown(int control, bool shown) = 0;
    /// Checks a host or target button; the other buttons of its group are unchecked.
    virtual void set_checked(int control) = 0;
    virtual void set_enabled(int control, bool enabled) = 0;
    /// The keyboard focus on a control. While the window is not the active one, the control
    /// takes it when the window is next activated, and the window is not brought forward.
    virtual void set_focus(int control) = 0;
    /// The window's font family; an empty name keeps the toolkit's own.
    virtual void set_font(const char* family) = 0;
    /// The hourglass cursor over the whole application, or the ordinary one again.
    virtual void set_busy(bool busy) = 0;
    /// The open dialog for a firmware file: filter in the "description|pattern|..." form,
    /// starting in folder (may be empty). Returns the path as the file utilities take it,
    /// empty when the person cancelled.
    virtual std::string choose_firmware_file(const char* filter, const std::string& folder) = 0;
    /// The update's progress: its bar at percent (0 to 100) with a short line saying what is
    /// happening, or (shown false) neither.
    virtual void set_progress(bool shown, int percent, const char* text) = 0;
    /// Asks the window to close; it closes through the form's close query.
    virtual void close_window() = 0;
};

}  // namespace korvel
