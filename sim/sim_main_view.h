// A simulated screen for the main window's form: a MainView that keeps what a face would show
// (captions, pictures, hints, shown, enabled and checked states of every control) so that a
// program can drive MainForm without a toolkit, and a person who answers message boxes from a
// script. The form and everything under it stay the real ones.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "korvel_main_view.h"
#include "ui_seam.h"

namespace korvel {

class SimMainView final : public MainView {
public:
    /// What one control shows. Controls start shown and enabled, as a face creates them.
    struct Control {
        std::string caption;
        std::string hint;
        int picture = -1;
        bool shown = true;
        bool enabled = true;
        bool checked = false;
    };

    void set_caption(int control, const char* text) override;
    void set_picture(int control, int picture) override;
    void set_hint(int control, const char* text) override;
    void set_shown(int control, bool shown) override;
    void set_checked(int control) override;
    void set_enabled(int control, bool enabled) override;
    void set_focus(int) override {}
    void set_font(const char*) override {}
    void set_busy(bool busy) override { busy_ = busy; }
    /// Returns file_to_choose and empties it, so a second dialog is cancelled.
    std::string choose_firmware_file(const char* filter, const std::string& folder) override;
    void set_progress(bool shown, int percent, const char* text) override {
        progress_shown_ = shown;
        progress_percent_ = percent;
        progress_text_ = text ? text : "";
    }
    void close_window() override { close_requested_ = true; }

    /// A control's state (a control never set reads as newly created).
    const Control& control(int id) const;
    bool busy() const { return busy_; }
    bool close_requested() const { return close_requested_; }
    bool progress_shown() const { return progress_shown_; }
    int progress_percent() const { return progress_percent_; }
    const std::string& progress_text() const { return progress_text_; }

    /// The path the next open dialog returns (empty: the person cancels).
    std::string file_to_choose;

private:
    std::map<int, Control> controls_;
    bool busy_ = false;
    bool close_requested_ = false;
    bool progress_shown_ = false;
    int progress_percent_ = 0;
    std::string progress_text_;
};

/// One message box as the person saw it, and the button that answered it.
struct SimMessage {
    std::string text;
    std::string caption;
    std::uint32_t flags = 0;
    int answer = 0;
};

/// Answers Yes/No boxes from `answers` (No once they run out) and every other box with OK.
class SimPerson final : public UserInterface {
public:
    void bring_to_front() override {}
    int message_box(const char* text, const char* caption, std::uint32_t flags) override;
    void process_pending_messages() override {}

    std::deque<int> answers;
    std::vector<SimMessage> messages;
};

}  // namespace korvel
