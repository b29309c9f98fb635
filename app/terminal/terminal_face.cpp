#include "terminal_face.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "json_text.h"
#include "korvel_family_dispatch.h"
#include "korvel_main_form.h"
#include "korvel_msg.h"
#include "korvel_running_text.h"
#include "one_copy.h"
#include "lib_getfilever.h"
#include "lib_global.h"
#include "terminal_console.h"
#include "terminal_listing.h"
#include "ui_seam.h"
#include "util_platform_seam.h"

namespace korvel {

namespace {

constexpr const char* PROGRAM = "korvel-update";
// The progress bar's width in characters, and the widest line it may take with its text.
constexpr int BAR_WIDTH = 30;

void say(TerminalStream stream, const std::string& text) { write_terminal_text(stream, text); }

void say_error(const std::string& text) {
    say(TerminalStream::error, std::string(PROGRAM) + ": " + text + "\n");
}

// Columns a UTF-8 text takes on a terminal: one per ASCII character, two for the others
// (the catalogue's Chinese and Japanese), counted once per character.
std::size_t columns_of(const std::string& text) {
    std::size_t columns = 0;
    for (const char byte : text) {
        const auto value = static_cast<unsigned char>(byte);
        if (value < 0x80) ++columns;
        else if (value >= 0xC0) columns += 2;
    }
    return columns;
}

// The write span's hold as the terminal needs it: the system's hold (sleep, shut-down) and the
// terminal's interrupts held off together.
class TerminalWriteSpanHold final : public WriteSpanHold {
public:
    explicit TerminalWriteSpanHold(WriteSpanHold* system) : system_(system) {}
    // Taken even when the system has no hold to give (no logind): the terminal's part holds.
    bool take(const char* reason) override {
        hold_terminal_interrupts();
        system_taken_ = system_ != nullptr && system_->take(reason);
        return true;
    }
    void release() override {
        if (system_taken_) system_->release();
        system_taken_ = false;
        release_terminal_interrupts();
    }

private:
    WriteSpanHold* system_;
    bool system_taken_ = false;
};

// The form's view and message boxes on the terminal.
class TerminalFace final : private MainView, private UserInterface {
public:
    explicit TerminalFace(const TerminalCommand& command) : command_(command), form_(*this) {}

    int run(const char* program_path);

private:
    int list();
    int check_or_update();
    /// Presses the adapter and target buttons of --target; false (said why) when that target
    /// is no bridge that takes an update.
    bool select_bridge();
    /// The check's verdict, or the update's outcome, once the road has ended.
    int check_verdict() const;
    int update_outcome() const;
    void end_progress_line();

    // MainView: only what the command line reports is kept.
    void set_caption(int control, const char* text) override;
    void set_picture(int, int) override {}
    void set_hint(int, const char*) override {}
    void set_shown(int control, bool shown) override;
    void set_checked(int) override {}
    void set_enabled(int control, bool enabled) override;
    void set_focus(int) override {}
    void set_font(const char*) override {}
    void set_busy(bool) override {}
    std::string choose_firmware_file(const char*, const std::string&) override {
        return command_.file;
    }
    void set_progress(bool shown, int percent, const char* text) override;
    void close_window() override {}

    // UserInterface
    void bring_to_front() override {}
    int message_box(const char* text, const char* caption, std::uint32_t flags) override;
    void process_pending_messages() override {}
    int ask(const char* text, const char* caption);

    const TerminalCommand& command_;
    MainForm form_;
    std::array<std::string, HOST_BUTTONS> host_captions_{};
    std::array<bool, HOST_BUTTONS> host_shown_{};
    bool update_enabled_ = false;

    // What happened on the update road.
    bool question_reached_ = false;
    bool answered_yes_ = false;
    bool declined_ = false;  ///< answered No at the terminal
    int rejection_ = 0;  ///< message 109 or 110 when the file was rejected
    bool succeeded_ = false;

    // The progress line: redrawn in place on a terminal, a line per new text otherwise.
    bool progress_on_terminal_ = false;
    bool progress_drawn_ = false;
    std::size_t progress_columns_ = 0;
    std::string progress_text_;
};

int TerminalFace::run(const char* program_path) {
    UserInterface* const previous_ui = installed_user_interface();
    install_user_interface(this);
    const UtilPlatform platform = installed_util_platform();
    TerminalWriteSpanHold hold(platform.write_span);
    UtilPlatform with_terminal = platform;
    with_terminal.write_span = &hold;
    install_util_platform(with_terminal);
    progress_on_terminal_ = is_terminal(TerminalStream::error);

    form_.FormCreate(program_path);
    form_.FormShow();
    int code = EXIT_NO_START;
    if (form_.service_started()) {
        code = command_.job == TerminalJob::list ? list() : check_or_update();
        // The reminder to restart after a write, and the SCSI service stopped.
        form_.FormClose();
    }
    install_util_platform(platform);
    install_user_interface(previous_ui);
    return code;
}

int TerminalFace::list() {
    std::vector<ListedBridge> bridges;
    for (int host = 0; host < HOST_BUTTONS; ++host) {
        if (!host_shown_[static_cast<std::size_t>(host)]) continue;
        // The start has scanned the first adapter already; each press scans again.
        if (form_.selected_host() != host) form_.BTN_Host_0Click(host);
        for (int index = 0; index < form_.target_count(); ++index) {
            form_.BTN_Target_0Click(index);
            bridges.push_back({host, host_captions_[static_cast<std::size_t>(host)],
                               form_.target_record(index), update_enabled_});
        }
    }
    say(TerminalStream::output, command_.json ? listing_json(bridges) : listing_text(bridges));
    return EXIT_DONE;
}

bool TerminalFace::select_bridge() {
    const int host = command_.host;
    const std::string where =
        "host " + std::to_string(host) + " target " + std::to_string(command_.target);
    if (!host_shown_[static_cast<std::size_t>(host)]) {
        say_error("there is no host adapter " + std::to_string(host));
        return false;
    }
    if (form_.selected_host() != host) form_.BTN_Host_0Click(host);
    for (int index = 0; index < form_.target_count(); ++index) {
        const TargetRecord& record = form_.target_record(index);
        if (record.target != command_.target) continue;
        form_.BTN_Target_0Click(index);
        if (update_enabled_) return true;
        say_error(std::string("the ") + family_name(record.family_code) + " bridge at " + where +
                  " takes no firmware update");
        return false;
    }
    say_error("no KORVEL bridge at " + where);
    return false;
}

int TerminalFace::check_or_update() {
    if (!select_bridge()) return EXIT_REFUSED;
    // The open dialog shows only files that can be opened: a name that is none, or that names
    // a folder or a device, is said so here instead of passing silently.
    const int file = open_file(command_.file.c_str(), OPEN_READ | SHARE_DENY_NONE);
    if (file <= 0) {
        say_error(command_.file + ": not a regular file that can be read");
        return EXIT_REFUSED;
    }
    file_close(file);
    form_.BTN_UpdateKORVELClick();
    end_progress_line();
    return command_.job == TerminalJob::check ? check_verdict() : update_outcome();
}

int TerminalFace::check_verdict() const {
    const TargetRecord& bridge = form_.selection();
    const std::string model(bridge.bridge_ident, strnlen(bridge.bridge_ident,
                                                         sizeof bridge.bridge_ident));
    if (command_.json) {
        ListedBridge listed{command_.host, host_captions_[static_cast<std::size_t>(command_.host)],
                            bridge, true};
        const char* verdict = question_reached_                          ? "sound"
                              : rejection_ == MSG_BAD_FIRMWARE       ? "damaged"
                              : rejection_ == MSG_WRONG_FIRMWARE_FILE ? "wrong_file"
                                                                     : "rejected";
        say(TerminalStream::output, "{\"file\":" + json_string(command_.file) +
                                        ",\"verdict\":" + json_string(verdict) +
                                        ",\"bridge\":" + bridge_json(listed) + "}\n");
    } else if (question_reached_) {
        say(TerminalStream::output, command_.file + ": sound firmware for the " +
                                        family_name(bridge.family_code) + " bridge " + model +
                                        "; nothing was written\n");
    }
    return question_reached_ ? EXIT_DONE : EXIT_REFUSED;
}

int TerminalFace::update_outcome() const {
    if (form_.firmware_written()) return succeeded_ ? EXIT_DONE : EXIT_REFUSED;
    if (declined_) say_error("nothing was written");
    return EXIT_REFUSED;
}

void TerminalFace::set_caption(int control, const char* text) {
    const int host = control - controls::BTN_Host_0;
    if (host >= 0 && host < HOST_BUTTONS) host_captions_[static_cast<std::size_t>(host)] = text;
}

void TerminalFace::set_shown(int control, bool shown) {
    const int host = control - controls::BTN_Host_0;
    if (host >= 0 && host < HOST_BUTTONS) host_shown_[static_cast<std::size_t>(host)] = shown;
}

void TerminalFace::set_enabled(int control, bool enabled) {
    if (control == controls::BTN_UpdateKORVEL) update_enabled_ = enabled;
}

void TerminalFace::set_progress(bool shown, int percent, const char* text) {
    if (!shown) return;
    const std::string line_text = text != nullptr ? text : "";
    if (!progress_on_terminal_) {
        // A log gets a line for each new step, not one for each percent.
        if (line_text == progress_text_) return;
        progress_text_ = line_text;
        say(TerminalStream::error, std::to_string(percent) + "% " + line_text + "\n");
        return;
    }
    const int filled = std::clamp(percent, 0, 100) * BAR_WIDTH / 100;
    std::string line = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(BAR_WIDTH - filled), '-') + "] ";
    const std::string number = std::to_string(percent);
    line += std::string(3 - std::min<std::size_t>(3, number.size()), ' ') + number + "% " +
            line_text;
    // Spaces over what the last line left beyond this one; no escape sequences, which older
    // consoles print as they are.
    const std::size_t columns = columns_of(line) - 1;
    if (columns < progress_columns_) line.append(progress_columns_ - columns, ' ');
    progress_columns_ = std::max(columns, progress_columns_);
    progress_drawn_ = true;
    say(TerminalStream::error, line);
}

void TerminalFace::end_progress_line() {
    if (progress_drawn_) say(TerminalStream::error, "\n");
    progress_drawn_ = false;
    progress_columns_ = 0;
    progress_text_.clear();
}

int TerminalFace::message_box(const char* text, const char* caption, std::uint32_t flags) {
    const std::string message = text != nullptr ? text : "";
    const std::string title = caption != nullptr ? caption : "";
    if ((flags & MB_TYPE_MASK) == MB_YES_NO) return ask(text, caption);
    end_progress_line();
    if (message == message_text(MSG_UPDATE_SUCCEEDED)) succeeded_ = true;
    if (message == message_text(MSG_BAD_FIRMWARE)) rejection_ = MSG_BAD_FIRMWARE;
    if (message == message_text(MSG_WRONG_FIRMWARE_FILE)) rejection_ = MSG_WRONG_FIRMWARE_FILE;
    // Before the start, a box is a failure to start; on the road, it is the verdict or the
    // outcome, for people on standard output (which the JSON of scripts keeps to itself).
    const bool for_output = form_.service_started() && !command_.json;
    say(for_output ? TerminalStream::output : TerminalStream::error, title + ": " + message + "\n");
    return ID_OK;
}

int TerminalFace::ask(const char* text, const char* caption) {
    question_reached_ = true;
    // The check stops here: the image passed every check, and nothing has been written.
    if (command_.job == TerminalJob::check) return ID_NO;
    const std::string question = std::string(caption) + ": " + text;
    if (command_.yes) {
        say(TerminalStream::error, question + " " + message_text(MSG_YES) + " (--yes)\n");
        answered_yes_ = true;
        return ID_YES;
    }
    if (!is_terminal(TerminalStream::input)) {
        say_error("the update asks before it writes, and there is no terminal to answer on: "
                  "nothing was written (--yes answers the question)");
        return ID_NO;
    }
    say(TerminalStream::error, question + " [y/N] ");
    std::array<char, 64> answer{};
    if (!read_terminal_line(answer.data(), answer.size())) {
        say(TerminalStream::error, "\n");
        declined_ = true;
        return ID_NO;
    }
    const std::string given = answer.data();
    const std::string yes_word = message_text(MSG_YES);
    answered_yes_ = given == "y" || given == "Y" || given == "yes" || given == "Yes" ||
                    given == "YES" || given == yes_word;
    declined_ = !answered_yes_;
    return answered_yes_ ? ID_YES : ID_NO;
}

}  // namespace

int start_command_line(int argc, char** argv, TerminalCommand& command) {
    prepare_terminal_process();
    std::string error;
    if (!read_command_line(argc, argv, command, error)) {
        say_error(error);
        say(TerminalStream::error, std::string(command_line_usage()) + "\n");
        return EXIT_USAGE;
    }
    if (command.job == TerminalJob::help) {
        say(TerminalStream::output, command_line_help());
        return EXIT_DONE;
    }
    if (command.job == TerminalJob::version) {
        char version[VERSION_TEXT_SIZE] = {};
        version_text(argv[0], version, sizeof version);
        say(TerminalStream::output, std::string(PROGRAM) + " " + version + "\n");
        return EXIT_DONE;
    }
    return -1;
}

int run_terminal_command(const TerminalCommand& command, const char* program_path) {
    TerminalFace face(command);
    return face.run(program_path);
}

int run_command_line_program(int argc, char** argv, void (*before_devices)()) {
    TerminalCommand command;
    if (const int answered = start_command_line(argc, argv, command); answered >= 0) {
        return answered;
    }
    // One copy per machine, the window's and the command line's together, claimed before
    // any device is opened.
    if (claim_one_copy(KORVEL_UPDATE_COPY_NAME) == CopyClaim::taken) {
        say_error(already_running_text());
        return EXIT_NO_START;
    }
    if (before_devices != nullptr) before_devices();
    return run_terminal_command(command, argv[0]);
}

}  // namespace korvel
