// What a scripted run of korvel-sim needs of a face's window: its real controls as a person
// meets them (shown, enabled, their texts), presses on them, and the face's event loop. The
// Qt face and the Win32 face each implement it over their own toolkit, so one script and one
// journal prove both.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "korvel_main_form.h"

namespace korvel {

class SimWindow {
public:
    virtual ~SimWindow() = default;

    /// The form behind the window.
    virtual const MainForm& form() const = 0;
    /// Whether the window itself is shown.
    virtual bool shown() const = 0;
    /// Whether a control (a korvel::controls identifier) is shown as part of the window, and
    /// whether it is enabled.
    virtual bool control_shown(int control) const = 0;
    virtual bool control_enabled(int control) const = 0;
    /// A button's text as the control holds it (with its "&" mnemonic markers), UTF-8.
    virtual std::string control_text(int control) const = 0;
    /// The hint a control shows, UTF-8.
    virtual std::string control_hint(int control) const = 0;

    /// A click on a button, through the toolkit as a person's click arrives.
    virtual void click(int control) = 0;
    /// The FAE Test gesture on the logo: a press and a release of its mouse button with its
    /// keys held, as mouse messages to the logo.
    virtual void fae_gesture() = 0;
    /// The title bar's close button: the window is asked to close and may refuse.
    virtual void close() = 0;
    /// From now on the open dialog is not shown: it returns what answer gives (nothing for a
    /// cancelled dialog).
    virtual void answer_file_dialog(std::function<std::optional<std::string>()> answer) = 0;

    /// Runs task from the event loop, once the work at hand has finished.
    virtual void post(std::function<void()> task) = 0;
    /// Ends the event loop with this exit code.
    virtual void quit(int code) = 0;
    /// Handles the events that wait, and returns.
    virtual void process_events() = 0;
};

}  // namespace korvel
