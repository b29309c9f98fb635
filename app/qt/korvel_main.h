// The main window's Qt face: every control created once with its name as object name, at the
// position and size the window was designed with, and the MainView the form speaks to. The
// behaviour lives in the form; each toolkit event is handed to the form's handler named by
// control and event. Buttons that share a handler carry their index in the property "Tag".
#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

#include "korvel_main_form.h"
#include "korvel_main_view.h"

class QAbstractButton;
class QButtonGroup;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QShowEvent;
class QToolButton;

namespace korvel {

/// Asks the person for a firmware file to open; returns its path, empty when cancelled.
/// The filter is in Qt's form ("description (*.bin)"), folder the one to start in (may be
/// empty).
using FirmwareFileChooser =
    std::function<QString(QWidget* parent, const QString& filter, const QString& folder)>;

/// The FAE gesture in Qt's terms.
inline constexpr Qt::KeyboardModifiers FAE_GESTURE_MODIFIERS =
    Qt::ControlModifier | Qt::ShiftModifier;
inline constexpr Qt::MouseButton FAE_GESTURE_QT_BUTTON = Qt::RightButton;

class TForm_Main final : public QWidget, private MainView {
    Q_OBJECT

public:
    /// Creates the window and runs the form's FormCreate. The SCSI service starts at the
    /// first showing.
    explicit TForm_Main(QWidget* parent = nullptr);
    ~TForm_Main() override;
    TForm_Main(const TForm_Main&) = delete;
    TForm_Main& operator=(const TForm_Main&) = delete;

    /// The window's behaviour and run-time state.
    MainForm& form() { return form_; }
    const MainForm& form() const { return form_; }

    /// Replaces the open dialog (the default shows QFileDialog).
    void set_file_chooser(FirmwareFileChooser chooser);
    /// The folder the open dialog starts in.
    void set_firmware_folder(const QString& folder);
    /// The open dialog's filter in Qt's form.
    const QString& open_dialog_filter() const { return open_dialog_filter_; }
    /// The control of an identifier; null for none.
    QWidget* control_widget(int control) const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
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

    void create_controls();
    QToolButton* create_speed_button(QWidget* parent, const char* prefix, int index,
                                     int columns);
    /// Centres the logo's labels under it, measured in the window's font.
    void lay_out_logo_labels();

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
    QProgressBar* Progress_Update = nullptr;
    QLabel* Label_Progress = nullptr;
    QButtonGroup* host_group_ = nullptr;
    QButtonGroup* target_group_ = nullptr;
    std::array<QToolButton*, HOST_BUTTONS> host_buttons{};
    std::array<QToolButton*, TARGET_BUTTONS> target_buttons{};
    /// Device pictures by device type (the last one for every type without its own).
    std::array<QIcon, DEVICE_PICTURES> ImageList_Target{};

    MainForm form_;
    bool form_show_queued_ = false;
    QString open_dialog_filter_;
    FirmwareFileChooser file_chooser_;
};

}  // namespace korvel
