// The main window's behaviour without a toolkit: start of the SCSI service, the host adapter
// and target panels, the bus scan, the update command, the orderly close and the hidden FAE
// Test mode. It keeps the window's run-time state and speaks to the screen only through a
// MainView; each face calls the handler named after the control and event that happened.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "korvel_main_view.h"
#include "lib_aspi.h"
#include "lib_aspi_bridge.h"
#include "progress_seam.h"

namespace korvel {

/// Target IDs a scan examines (LUN 0 only).
inline constexpr int SCANNED_TARGETS = 16;

/// The application title: window caption and title of the toolkit's own messages.
inline constexpr const char* APPLICATION_TITLE = "KORVEL Firmware Update";

/// The mouse button and keys that toggle the FAE Test mode on the logo. An ordinary click
/// (left button, no key) never matches.
inline constexpr MouseButton FAE_GESTURE_BUTTON = MouseButton::right;
inline constexpr unsigned FAE_GESTURE_KEYS = KEY_CONTROL | KEY_SHIFT;

/// One shown device of the selected adapter, in the order of the target buttons.
struct TargetRecord {
    int target = 0;
    int lun = 0;
    int type = 0;       ///< peripheral device type after substitution; also its picture
    int removable = 0;  ///< 0 or 1, after substitution
    std::int32_t family_code = FAMILY_NONE;
    char bridge_ident[BRIDGE_MODEL_CAPACITY] = {};
    char vendor[VENDOR_TEXT_CAPACITY] = {};
    char product[PRODUCT_TEXT_CAPACITY] = {};
    char revision[REVISION_TEXT_CAPACITY] = {};
    /// What the hint shows beside the record: the SCSI bus (wide 0 or 1; speed in MB/s, 0
    /// asynchronous, RATE_UNKNOWN when not reported) and READ CAPACITY's answer (0 and 0 when
    /// the device type has none or it was not answered).
    int wide = 0;
    std::int32_t speed = RATE_UNKNOWN;
    std::uint32_t block_count = 0;
    std::uint32_t block_length = 0;
};

/// Whether an adapter name is one of the LSI adapters that need the write preamble: the
/// Windows drivers "Symmpi" and "LSI_SCSI" and the Linux drivers "mptspi" and "sym53c8xx",
/// whole and in any letter case.
bool is_lsi_adapter_name(const char* name);

class MainForm final : private UpdateProgress {
public:
    /// A form over view, which must outlive it. Both run-time switches start off.
    explicit MainForm(MainView& view);
    /// A form destroyed without closing still leaves the SCSI service stopped.
    ~MainForm();
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    // --- Event handlers -------------------------------------------------------------------

    /// Captions, version label (of the program at program_path), font and pictures.
    void FormCreate(const char* program_path);
    /// Starts the SCSI service, lists the adapters and selects adapter 0; closes the window
    /// after message 6 when the service cannot start or reports no adapter. Runs once; the
    /// face calls it just after the window's first showing has been painted.
    void FormShow();
    void BTN_Host_0Click(int tag);
    void BTN_Target_0Click(int tag);
    void BTN_UpdateKORVELClick();
    void BTN_BackupKORVELClick();
    void BTN_ExitClick();
    /// Whether the window may close now: never while an update runs.
    bool FormCloseQuery() const;
    /// Whether the session may end (log-off, shut-down) now: never while a write span is
    /// open, but while the open dialog is up or the window just sits there it may.
    bool SessionEndQuery() const;
    /// The close path: reboot reminder when firmware was written, then the SCSI service stops.
    /// Runs at most once.
    void FormClose();
    /// A press on the logo: the FAE gesture toggles the FAE Test mode and its label.
    void Image_MainMouseDown(MouseButton button, unsigned keys);

    // --- Operations shared by the handlers -------------------------------------------------

    void select_host(int index);
    void scan_host();
    void select_target(int index);

    /// The folder the open dialog starts in (the path in the file utilities' form).
    void set_firmware_folder(std::string folder) { firmware_folder_ = std::move(folder); }

    // --- Observable state ------------------------------------------------------------------

    int selected_host() const { return selected_host_; }
    const TargetRecord& selection() const { return selection_; }
    bool update_running() const { return update_running_; }
    bool firmware_written() const { return firmware_written_; }
    /// Records of the last scan, one per shown target button.
    int target_count() const { return target_count_; }
    const TargetRecord& target_record(int index) const;
    /// A host adapter's name as its button shows it (empty beyond the adapters found).
    const char* host_name(int index) const;
    /// Whether FormShow has run, and whether the SCSI service then failed to start.
    bool shown() const { return form_shown_; }
    bool service_started() const { return form_shown_ && !start_failed_; }
    bool start_failed() const { return start_failed_; }
    /// Whether the close path has run.
    bool closed() const { return form_closed_; }

private:
    class BusyCursor;
    class UpdateLock;

    /// Enables or disables the adapter group, the target group and the three command
    /// buttons (in the order the update command locks them, or the reverse); enabling them
    /// gives the keyboard focus back to a command button.
    void set_controls_enabled(bool enabled);
    void set_command_buttons_enabled(bool enabled);
    void set_busy(bool busy);

    // UpdateProgress: the family module's steps move the window's progress bar, forward only.
    void update_step(UpdateStep step, int piece, int pieces) override;
    void update_finished(bool written) override;
    void show_progress(int percent, const char* text);

    MainView& view_;
    int progress_percent_ = 0;
    std::array<char, 64> progress_text_{};

    int selected_host_ = 0;
    TargetRecord selection_{};
    bool update_running_ = false;
    bool firmware_written_ = false;
    std::array<TargetRecord, TARGET_BUTTONS> records_{};
    int target_count_ = 0;
    std::array<std::array<char, ADAPTER_IDENTIFIER_CAPACITY>, HOST_BUTTONS> host_names_{};

    int busy_depth_ = 0;
    bool form_shown_ = false;
    bool start_failed_ = false;
    bool form_closed_ = false;
    std::string firmware_folder_;
};

}  // namespace korvel
