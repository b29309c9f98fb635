#include "sim_script_run.h"

#include <algorithm>
#include <cstdio>

namespace korvel {

namespace {

// Start-up polls before the run gives up on a window that never starts (each one a pass of
// the event loop).
constexpr int START_POLL_LIMIT = 100000;

// What a button shows: "&&" as "&", and no mnemonic marker.
std::string shown_text(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return shown;
}

}  // namespace

void journal_commands(SimDevice& device, int host, int target, int lun, SimJournal& journal) {
    device.set_observer([&journal, host, target, lun](const SimJournalEntry& command) {
        journal.write(scsi_event(host, target, lun, command));
    });
}

ScriptedRun::ScriptedRun(SimJournal& journal, std::vector<ScriptStep> steps)
    : journal_(journal), steps_(std::move(steps)) {}

void ScriptedRun::begin(SimWindow& window) {
    window_ = &window;
    install_user_interface(this);
    window.answer_file_dialog([this]() -> std::optional<std::string> {
        if (update_step_ == nullptr) return std::nullopt;
        return update_step_->file;
    });
    window.post([this] { run_when_started(); });
}

void ScriptedRun::run_when_started() {
    // The window starts from the event loop after its first showing; the steps wait until it
    // has, and never run inside a pass of the loop the program itself is making.
    const MainForm& form = window_->form();
    if (form.start_failed()) {
        window_->quit(0);
        return;
    }
    if (!form.service_started() || pumping_ > 0) {
        if (++start_polls_ > START_POLL_LIMIT) {
            std::fprintf(stderr, "korvel-sim: the window did not start; no step performed\n");
            window_->quit(1);
            return;
        }
        window_->post([this] { run_when_started(); });
        return;
    }
    write_hosts();
    write_targets();
    write_controls();
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        journal_.write(JsonObjectText().text("event", "step").number(
            "index", static_cast<std::int64_t>(i)));
        perform(steps_[i]);
        write_controls();
    }
    performed_ = true;
    // A window the script left open closes the ordinary way once the loop ends.
    window_->quit(0);
}

void ScriptedRun::perform(const ScriptStep& step) {
    switch (step.action) {
    case ScriptAction::select_host:
        // Every press of an adapter button scans that adapter.
        if (step.index < HOST_BUTTONS && press(controls::BTN_Host_0 + step.index)) {
            write_targets();
        }
        break;
    case ScriptAction::select_target:
        if (step.index < TARGET_BUTTONS) press(controls::BTN_Target_0 + step.index);
        break;
    case ScriptAction::fae_gesture:
        if (window_->shown() && window_->control_shown(controls::Image_Main) &&
            window_->control_enabled(controls::Image_Main)) {
            window_->fae_gesture();
        }
        break;
    case ScriptAction::update:
        update_step_ = &step;
        press(controls::BTN_UpdateKORVEL);
        update_step_ = nullptr;
        break;
    case ScriptAction::close:
        if (window_->shown()) window_->close();
        break;
    }
}

bool ScriptedRun::press(int control) {
    if (!window_->shown() || !window_->control_shown(control) ||
        !window_->control_enabled(control)) {
        return false;
    }
    window_->click(control);
    return true;
}

int ScriptedRun::message_box(const char* text, const char* caption, std::uint32_t flags) {
    int answer = ID_OK;
    switch (flags & MB_TYPE_MASK) {
    case MB_YES_NO:
        answer = update_step_ != nullptr && update_step_->confirm ? ID_YES : ID_NO;
        break;
    case MB_YES_NO_CANCEL:
    case MB_RETRY_CANCEL:
        answer = ID_CANCEL;
        break;
    case MB_ABORT_RETRY_IGNORE:
        answer = ID_IGNORE;
        break;
    case MB_OK_CANCEL:
    default:
        answer = ID_OK;
        break;
    }
    // The window as it is while the box is up.
    JsonObjectText state;
    add_control_state(state);
    journal_.write(JsonObjectText()
                       .text("event", "message")
                       .text("text", text != nullptr ? text : "")
                       .text("caption", caption != nullptr ? caption : "")
                       .number("flags", flags)
                       .number("answer", answer)
                       .raw("controls", state.json()));
    return answer;
}

void ScriptedRun::process_pending_messages() {
    ++pumping_;
    window_->process_events();
    --pumping_;
}

void ScriptedRun::add_control_state(JsonObjectText& state) const {
    const auto enabled = [this](int control) { return window_->control_enabled(control); };
    state.boolean("update", enabled(controls::BTN_UpdateKORVEL))
        .boolean("backup", enabled(controls::BTN_BackupKORVEL))
        .boolean("exit", enabled(controls::BTN_Exit))
        .boolean("host_group", enabled(controls::GroupBox_Host))
        .boolean("target_group", enabled(controls::GroupBox_Target))
        .boolean("fae_label", window_->control_shown(controls::Label_FAETest));
}

void ScriptedRun::write_hosts() {
    std::vector<std::string> captions;
    std::vector<std::string> visible;
    for (int i = 0; i < HOST_BUTTONS; ++i) {
        const int control = controls::BTN_Host_0 + i;
        captions.push_back(json_string(shown_text(window_->control_text(control))));
        visible.push_back(window_->control_shown(control) ? "true" : "false");
    }
    journal_.write(JsonObjectText()
                       .text("event", "hosts")
                       .raw("captions", json_array(captions))
                       .raw("visible", json_array(visible)));
}

void ScriptedRun::write_targets() {
    const MainForm& form = window_->form();
    std::vector<std::string> buttons;
    for (int i = 0; i < TARGET_BUTTONS; ++i) {
        const int control = controls::BTN_Target_0 + i;
        if (!window_->control_shown(control)) continue;
        const int picture = std::clamp(form.target_record(i).type, 0, DEVICE_PICTURES - 1);
        buttons.push_back(JsonObjectText()
                              .text("caption", shown_text(window_->control_text(control)))
                              .number("picture", picture)
                              .text("hint", window_->control_hint(control))
                              .json());
    }
    journal_.write(JsonObjectText()
                       .text("event", "targets")
                       .number("host", form.selected_host())
                       .raw("buttons", json_array(buttons)));
}

void ScriptedRun::write_controls() {
    JsonObjectText event;
    event.text("event", "controls");
    add_control_state(event);
    journal_.write(event);
}

}  // namespace korvel
