// The main window: host adapter and target panels, the bus scan, the update command, the
// orderly close and the hidden FAE Test mode.
//
// Every control is created once in the constructor with its name as object name, at the
// position and size the window was designed with. Behaviour lives in the event handlers named
// by control and event; signals are connected straight to them. Buttons that share a handler
// carry their index in the dynamic property "Tag".
#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

#include "lib_aspi.h"
#include "lib_aspi_bridge.h"

class QAbstractButton;
class QButtonGroup;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QMouseEvent;
class QPushButton;
class QShowEvent;
class QToolButton;

namespace korvel {

/// Host adapter buttons and target buttons the window offers.
inline constexpr int HOST_BUTTONS = 8;
inline constexpr int TARGET_BUTTONS = 15;
/// Target IDs a scan examines (LUN 0 only).
inline constexpr int SCANNED_TARGETS = 16;

/// The application title: window caption and title of the toolkit's own messages.
inline constexpr const char* APPLICATION_TITLE = "KORVEL Firmware Update";

/// Modifier keys and mouse button that toggle the FAE Test mode on the logo. An ordinary
/// click (left button, no modifier) never matches.
inline constexpr Qt::KeyboardModifiers FAE_GESTURE_MODIFIERS =
    Qt::ControlModifier | Qt::ShiftModifier;
inline constexpr Qt::MouseButton FAE_GESTURE_BUTTON = Qt::RightButton;

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
};

/// Asks the person for a firmware file to open; returns its path, empty when cancelled.
/// The filter is in Qt's form ("description (*.bin)"), folder the one to start in (may be
/// empty).
using FirmwareFileChooser =
    std::function<QString(QWidget* parent, const QString& filter, const QString& folder)>;

class TForm_Main final : public QWidget {
    Q_OBJECT

public:
    /// Creates the window and runs FormCreate. The SCSI service starts at the first showing.
    explicit TForm_Main(QWidget* parent = nullptr);
    ~TForm_Main() override;
    TForm_Main(const TForm_Main&) = delete;
    TForm_Main& operator=(const TForm_Main&) = delete;

    // --- Event handlers -------------------------------------------------------------------

    void FormCreate();
    /// Starts the SCSI service, lists the adapters and selects adapter 0; closes the window
    /// after message 6 when the service cannot start or reports no adapter. Runs once, just
    /// after the first showing has been painted.
    void FormShow();
    void BTN_Host_0Click(QAbstractButton* sender);
    void BTN_Target_0Click(QAbstractButton* sender);
    void BTN_UpdateKORVELClick();
    void BTN_BackupKORVELClick();
    void BTN_ExitClick();
    /// Whether the window may close now: never while an update runs.
    bool FormCloseQuery() const;
    /// The close path: reboot reminder when firmware was written, then the SCSI service stops.
    /// Runs at most once.
    void FormClose();
    void Image_MainMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);

    // --- Operations shared by the handlers -------------------------------------------------

    void select_host(int index);
    void scan_host();
    void select_target(int index);

    // --- Hooks for the demo and scripted runs ---------------------------------------------

    /// Replaces the open dialog (the default shows QFileDialog).
    void set_file_chooser(FirmwareFileChooser chooser);
    /// The folder the open dialog starts in.
    void set_firmware_folder(const QString& folder);

    // --- Observable state ------------------------------------------------------------------

    int selected_host() const { return selected_host_; }
    const TargetRecord& selection() const { return selection_; }
    bool update_running() const { return update_running_; }
    bool firmware_written() const { return firmware_written_; }
    /// Records of the last scan, one per visible target button.
    int target_count() const { return target_count_; }
    const TargetRecord& target_record(int index) const;
    /// Whether FormShow has run, and whether the SCSI service then failed to start.
    bool service_started() const { return form_shown_ && !start_failed_; }
    bool start_failed() const { return start_failed_; }
    /// Whether the close path has run.
    bool closed() const { return form_closed_; }
    /// The open dialog's filter in Qt's form.
    const QString& open_dialog_filter() const { return open_dialog_filter_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class UpdateLock;

    void create_controls();
    QToolButton* create_speed_button(QWidget* parent, const char* prefix, int index,
                                     int columns);
    /// Enables or disables the adapter group, the target group and the three command
    /// buttons (in the order the update command locks them, or the reverse).
    void set_controls_enabled(bool enabled);
    void set_command_buttons_enabled(bool enabled);

    // Controls, by their names in the window.
    QLabel* Image_Main = nullptr;
    QLabel* Label_Main = nullptr;
    QLabel* Label_Version = nullptr;
    QLabel* Label_FAETest = nullptr;
    QGroupBox* GroupBox_Host = nullptr;
    QGroupBox* GroupBox_Target = nullptr;
    QPushButton* BTN_UpdateKORVEL = nullptr;
    QPushButton* BTN_BackupKORVEL = nullptr;
    QPushButton* BTN_Exit = nullptr;
    QButtonGroup* host_group_ = nullptr;
    QButtonGroup* target_group_ = nullptr;
    std::array<QToolButton*, HOST_BUTTONS> host_buttons{};
    std::array<QToolButton*, TARGET_BUTTONS> target_buttons{};
    /// Device pictures by device type (the last one for every type without its own).
    std::array<QIcon, 11> ImageList_Target{};

    // Run-time state.
    int selected_host_ = 0;
    TargetRecord selection_{};
    bool update_running_ = false;
    bool firmware_written_ = false;
    std::array<TargetRecord, TARGET_BUTTONS> records_{};
    int target_count_ = 0;
    std::array<QString, HOST_BUTTONS> host_names_{};

    bool form_show_queued_ = false;
    bool form_shown_ = false;
    bool start_failed_ = false;
    bool form_closed_ = false;

    QString open_dialog_filter_;
    QString firmware_folder_;
    FirmwareFileChooser file_chooser_;
};

/// Whether an adapter name is one of the LSI adapters that need the write preamble: the
/// Windows drivers "Symmpi" and "LSI_SCSI" and the Linux drivers "mptspi" and "sym53c8xx",
/// whole and in any letter case.
bool is_lsi_adapter_name(const QString& name);

}  // namespace korvel
