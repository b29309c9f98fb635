#include "korvel_main_form.h"

#include <algorithm>
#include <cstring>

#include "korvel_family_dispatch.h"
#include "korvel_hint.h"
#include "korvel_msg.h"
#include "korvel_progress_text.h"
#include "korvel_runtime_flags.h"
#include "korvel_write_span.h"
#include "lib_font.h"
#include "lib_getfilever.h"
#include "lib_global.h"
#include "ui_seam.h"

namespace korvel {

namespace {

// Qualifier the scan passes when naming a device type.
constexpr int SCAN_QUALIFIER = 0;
// Mode of the firmware file: read access, others may read and write meanwhile.
constexpr std::int32_t FIRMWARE_OPEN_MODE = OPEN_READ | SHARE_DENY_NONE;
// Shown for a family code without a module; the same English text in every language.
constexpr const char* UNKNOWN_DEVICE_TEXT = "Unknown device !";

bool same_ignoring_case(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const auto x = static_cast<unsigned char>(*a);
        const auto y = static_cast<unsigned char>(*b);
        const auto lower = [](unsigned char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
        };
        if (lower(x) != lower(y)) return false;
        if (x == '\0') return true;
    }
}

// An adapter's name as the driver reported it, one byte a character, as UTF-8 for the view.
std::string latin1_to_utf8(const char* text) {
    std::string utf8;
    for (const char* at = text; *at != '\0'; ++at) {
        const auto byte = static_cast<unsigned char>(*at);
        if (byte < 0x80) {
            utf8 += static_cast<char>(byte);
        } else {
            utf8 += static_cast<char>(0xC0 | byte >> 6);
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

}  // namespace

bool is_lsi_adapter_name(const char* name) {
    if (name == nullptr) return false;
    for (const char* lsi : {"Symmpi", "LSI_SCSI", "mptspi", "sym53c8xx"}) {
        if (same_ignoring_case(name, lsi)) return true;
    }
    return false;
}

// The hourglass for the length of a scope; nested scopes keep it until the outermost ends.
class MainForm::BusyCursor {
public:
    explicit BusyCursor(MainForm& form) : form_(form) { form_.set_busy(true); }
    ~BusyCursor() { form_.set_busy(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    MainForm& form_;
};

// Holds the window locked for the length of an update command: the adapter and target groups
// and the command buttons disabled, closing refused. Unlocks on every way out.
class MainForm::UpdateLock {
public:
    explicit UpdateLock(MainForm& form) : form_(form) {
        form_.set_controls_enabled(false);
        form_.update_running_ = true;
    }
    ~UpdateLock() {
        // Whatever way the update ended, the write span ends with it.
        close_write_span();
        form_.update_running_ = false;
        form_.set_controls_enabled(true);
    }
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;

private:
    MainForm& form_;
};

MainForm::MainForm(MainView& view) : view_(view) {
    // Both switches start off with every window; the adapter selection sets the LSI one.
    set_lsi_adapter(false);
    set_fae_test_mode(false);
}

MainForm::~MainForm() {
    if (form_shown_ && !form_closed_) scsi_stop();
}

void MainForm::set_busy(bool busy) {
    if (busy && busy_depth_++ == 0) view_.set_busy(true);
    if (!busy && busy_depth_ > 0 && --busy_depth_ == 0) view_.set_busy(false);
}

void MainForm::FormCreate(const char* program_path) {
    char version[VERSION_TEXT_SIZE] = {};
    version_text(program_path, version, sizeof version);
    view_.set_caption(controls::Label_Version, version);

    BusyCursor busy(*this);
    char font_name[FONT_NAME_SIZE] = {};
    view_.set_font(default_font_name(font_name, sizeof font_name));
    view_.set_caption(controls::Form_Main, APPLICATION_TITLE);
    view_.set_picture(controls::Image_Main, PICTURE_APPLICATION);
    view_.set_caption(controls::GroupBox_Host, message_text(MSG_HOST_CARD));
    view_.set_caption(controls::GroupBox_Target, message_text(MSG_TARGET_DEVICE));
    view_.set_caption(controls::BTN_Exit, message_text(MSG_EXIT_BUTTON));
    view_.set_caption(controls::BTN_UpdateKORVEL, message_text(MSG_UPDATE_BUTTON));
    for (int i = 0; i < HOST_BUTTONS; ++i) {
        view_.set_picture(controls::BTN_Host_0 + i, PICTURE_HOST_ADAPTER);
    }
    // Nothing is selected before the first scan.
    set_command_buttons_enabled(false);
}

void MainForm::FormShow() {
    if (form_shown_) return;
    form_shown_ = true;
    BusyCursor busy(*this);
    if (scsi_start() <= 0) {
        start_failed_ = true;
        show_message(message_text(MSG_ASPI_START_FAILED), message_text(MSG_CAPTION_ERROR),
                     MB_ICON_STOP_OK);
        view_.close_window();
        return;
    }
    const int adapters = adapter_count();
    for (int i = 0; i < HOST_BUTTONS; ++i) {
        auto& name = host_names_[static_cast<std::size_t>(i)];
        name.fill('\0');
        adapter_identifier(static_cast<std::uint8_t>(i), name.data());
        name.back() = '\0';
        view_.set_caption(controls::BTN_Host_0 + i, latin1_to_utf8(name.data()).c_str());
        view_.set_shown(controls::BTN_Host_0 + i, i < adapters);
    }
    select_host(0);
}

void MainForm::BTN_Host_0Click(int tag) { select_host(tag); }

void MainForm::select_host(int index) {
    if (index < 0 || index >= HOST_BUTTONS) return;
    selected_host_ = index;
    view_.set_checked(controls::BTN_Host_0 + index);
    set_command_buttons_enabled(false);
    set_lsi_adapter(is_lsi_adapter_name(host_name(index)));
    scan_host();
    if (target_count_ > 0) select_target(0);
}

void MainForm::scan_host() {
    const auto host = static_cast<std::uint8_t>(selected_host_);
    target_count_ = 0;
    for (int id = 0; id < SCANNED_TARGETS; ++id) {
        // Fifteen buttons: a sixteenth bridge on one adapter stays unshown rather than
        // overrunning the table.
        if (target_count_ == TARGET_BUTTONS) break;
        const auto target = static_cast<std::uint8_t>(id);
        ScannedDevice device;
        if (!scan_device(host, target, 0, device)) continue;
        TargetRecord record{};
        record.target = id;
        record.lun = 0;
        std::memcpy(record.bridge_ident, device.model, sizeof record.bridge_ident);
        std::memcpy(record.vendor, device.vendor, sizeof record.vendor);
        std::memcpy(record.product, device.product, sizeof record.product);
        std::memcpy(record.revision, device.revision, sizeof record.revision);
        std::int32_t type = device.type;
        std::int32_t removable = device.removable;
        const std::int32_t family = device.family_code;

        // A removable direct-access device is presented as an optical one; CD devices are
        // always removable.
        if (type == 5 || type == 4) removable = 1;
        if (type == 0 && removable == 1) type = 7;
        if (type == 7) removable = 1;
        record.type = type;
        record.removable = removable;
        record.family_code = family;

        DeviceFacts facts;
        facts.host = selected_host_;
        facts.target = id;
        facts.lun = 0;
        facts.type = type;
        facts.vendor = record.vendor;
        facts.product = record.product;
        facts.revision = record.revision;
        facts.bridge_ident = record.bridge_ident;
        facts.wide = device.wide;
        facts.speed = device.speed;
        if (type_has_capacity(type)) {
            scsi_read_capacity(host, target, 0, &facts.block_count, &facts.block_length);
        }
        record.wide = device.wide;
        record.speed = device.speed;
        record.block_count = facts.block_count;
        record.block_length = facts.block_length;

        records_[static_cast<std::size_t>(target_count_)] = record;
        const int button = controls::BTN_Target_0 + target_count_;
        char name[DEVICE_TYPE_NAME_SIZE] = {};
        view_.set_caption(button, device_type_name(type, SCAN_QUALIFIER, name, sizeof name));
        view_.set_picture(button, std::min(type, PICTURE_UNKNOWN_DEVICE));
        view_.set_hint(button, device_hint(facts).c_str());
        view_.set_shown(button, true);
        ++target_count_;
    }
    for (int i = target_count_; i < TARGET_BUTTONS; ++i) {
        view_.set_shown(controls::BTN_Target_0 + i, false);
    }
}

void MainForm::BTN_Target_0Click(int tag) { select_target(tag); }

void MainForm::select_target(int index) {
    if (index < 0 || index >= target_count_) return;
    selection_ = records_[static_cast<std::size_t>(index)];
    view_.set_checked(controls::BTN_Target_0 + index);
    set_command_buttons_enabled(family_has_module(selection_.family_code));
}

void MainForm::set_command_buttons_enabled(bool enabled) {
    view_.set_enabled(controls::BTN_BackupKORVEL, enabled);
    view_.set_enabled(controls::BTN_UpdateKORVEL, enabled);
}

void MainForm::set_controls_enabled(bool enabled) {
    if (!enabled) {
        for (int each : {controls::GroupBox_Host, controls::GroupBox_Target, controls::BTN_Exit,
                         controls::BTN_BackupKORVEL, controls::BTN_UpdateKORVEL}) {
            view_.set_enabled(each, false);
        }
        return;
    }
    // The command buttons come back as the selection allows, not blindly on.
    const bool offered = target_count_ > 0 && family_has_module(selection_.family_code);
    view_.set_enabled(controls::BTN_UpdateKORVEL, offered);
    view_.set_enabled(controls::BTN_BackupKORVEL, offered);
    for (int each : {controls::BTN_Exit, controls::GroupBox_Target, controls::GroupBox_Host}) {
        view_.set_enabled(each, true);
    }
    // The control that had the keyboard was disabled with the rest, which left the keyboard
    // with no control at all: it goes to the update command again, or to the exit.
    view_.set_focus(offered ? controls::BTN_UpdateKORVEL : controls::BTN_Exit);
}

void MainForm::BTN_UpdateKORVELClick() {
    // Only a device shown on the selected adapter may be written; a second command while one
    // runs is refused.
    if (update_running_ || target_count_ == 0) return;
    BusyCursor busy(*this);
    UpdateLock lock(*this);

    const std::string path =
        view_.choose_firmware_file(message_text(MSG_FIRMWARE_FILE_FILTER), firmware_folder_);
    if (path.empty()) return;
    const int file = open_file(path.c_str(), FIRMWARE_OPEN_MODE);
    if (file <= 0) return;

    // The progress shows from the module's first step until the update road ends.
    install_update_progress(this);
    const int result =
        update_firmware_for_family(selection_.family_code, selected_host_, selection_.target,
                                   selection_.lun, selection_.bridge_ident, file);
    install_update_progress(nullptr);
    progress_percent_ = 0;
    view_.set_progress(false, 0, "");
    if (result == UPDATE_NO_MODULE) {
        show_message(UNKNOWN_DEVICE_TEXT, message_text(MSG_CAPTION_ERROR), MB_ICON_STOP_OK);
        file_close(file);
        return;
    }
    if (result != UPDATE_WRITTEN) return;
    firmware_written_ = true;
    read_sub_channel(static_cast<std::uint8_t>(selected_host_),
                     static_cast<std::uint8_t>(selection_.target),
                     static_cast<std::uint8_t>(selection_.lun));
    // That was the update's last command: sleep and shut-down may cut nothing short now.
    close_write_span();
}

void MainForm::update_step(UpdateStep step, int piece, int pieces) {
    // Each piece is written, then verified: two halves of its share of the bar, each counted
    // as it starts.
    const int halves = 2 * std::max(pieces, 1);
    const int started = 2 * (std::clamp(piece, 1, std::max(pieces, 1)) - 1) +
                        (step == UpdateStep::verifying ? 1 : 0);
    show_progress(100 * started / halves,
                  progress_text(step, piece, pieces, progress_text_.data(), progress_text_.size()));
}

void MainForm::update_finished(bool written) {
    // The line says the write is over, not the last step it took.
    if (written) show_progress(100, progress_done_text());
}

void MainForm::show_progress(int percent, const char* text) {
    progress_percent_ = std::max(progress_percent_, percent);
    // Painted at the next pass of the window's messages, which the write's wait makes.
    view_.set_progress(true, progress_percent_, text);
}

void MainForm::BTN_BackupKORVELClick() {
    // Firmware is never read back into a file; the button has no operation.
}

void MainForm::BTN_ExitClick() { view_.close_window(); }

bool MainForm::FormCloseQuery() const { return !update_running_; }

bool MainForm::SessionEndQuery() const { return !write_span_is_open(); }

void MainForm::FormClose() {
    if (form_closed_) return;
    form_closed_ = true;
    if (firmware_written_) {
        show_message(message_text(MSG_REBOOT_REMINDER), message_text(MSG_CAPTION_INFORMATION),
                     MB_ICON_INFORMATION_OK);
    }
    BusyCursor busy(*this);
    scsi_stop();
}

void MainForm::Image_MainMouseDown(MouseButton button, unsigned keys) {
    constexpr unsigned considered = KEY_SHIFT | KEY_CONTROL | KEY_ALT | KEY_META;
    if (button != FAE_GESTURE_BUTTON || (keys & considered) != FAE_GESTURE_KEYS) return;
    set_fae_test_mode(!fae_test_mode());
    view_.set_shown(controls::Label_FAETest, fae_test_mode());
}

const TargetRecord& MainForm::target_record(int index) const {
    static const TargetRecord none{};
    if (index < 0 || index >= target_count_) return none;
    return records_[static_cast<std::size_t>(index)];
}

const char* MainForm::host_name(int index) const {
    if (index < 0 || index >= HOST_BUTTONS) return "";
    return host_names_[static_cast<std::size_t>(index)].data();
}

}  // namespace korvel
