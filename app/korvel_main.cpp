#include "korvel_main.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

#include "busy_cursor.h"
#include "firmware_file_dialog.h"
#include "korvel_family_dispatch.h"
#include "korvel_hint.h"
#include "korvel_msg.h"
#include "korvel_pictures.h"
#include "korvel_runtime_flags.h"
#include "lib_font.h"
#include "lib_getfilever.h"
#include "lib_global.h"
#include "ui_seam.h"

namespace korvel {

namespace {

// The window's client area and the design font's character height.
constexpr int CLIENT_WIDTH = 462;
constexpr int CLIENT_HEIGHT = 368;
constexpr int DESIGN_FONT_PIXELS = 12;

// Speed buttons: size and grid pitch inside their group box.
constexpr int SPEED_BUTTON_WIDTH = 85;
constexpr int SPEED_BUTTON_HEIGHT = 53;
constexpr int GRID_LEFT = 8;
constexpr int GRID_TOP = 16;
constexpr int GRID_PITCH_X = 88;
constexpr int GRID_PITCH_Y = 56;
constexpr int HOST_COLUMNS = 4;
constexpr int TARGET_COLUMNS = 5;

// Hints: shown 100 ms after the pointer comes to rest, kept up for ten minutes.
constexpr int HINT_SHOW_DELAY_MS = 100;
constexpr int HINT_HIDE_PAUSE_MS = 600000;

// Qualifier the scan passes when naming a device type.
constexpr int SCAN_QUALIFIER = 0;
// Mode of the firmware file: read access, others may read and write meanwhile.
constexpr std::int32_t FIRMWARE_OPEN_MODE = OPEN_READ | SHARE_DENY_NONE;
// Shown for a family code without a module; the same English text in every language.
constexpr const char* UNKNOWN_DEVICE_TEXT = "Unknown device !";

const QColor LOGO_LABEL_COLOUR(0, 128, 128);
const QColor FAE_LABEL_COLOUR(255, 255, 0);

// The application's hint timing: the toolkit asks its style how long to wait.
class HintTimingStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_ToolTip_WakeUpDelay) return HINT_SHOW_DELAY_MS;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

void install_hint_timing() {
    if (dynamic_cast<HintTimingStyle*>(QApplication::style()) == nullptr) {
        QApplication::setStyle(new HintTimingStyle);
    }
}

// A path as the utilities take it: UTF-8 on Windows, the file system's own bytes elsewhere.
QByteArray path_for_utilities(const QString& path) {
#ifdef _WIN32
    return path.toUtf8();
#else
    return QFile::encodeName(path);
#endif
}

// An adapter name as a button caption: '&' would otherwise mark a shortcut key.
QString caption_text(const QString& name) {
    QString caption = name;
    caption.replace(u'&', QStringLiteral("&&"));
    return caption;
}

}  // namespace

bool is_lsi_adapter_name(const QString& name) {
    for (const char* lsi : {"Symmpi", "LSI_SCSI", "mptspi", "sym53c8xx"}) {
        if (name.compare(QLatin1String(lsi), Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

// Holds the window locked for the length of an update command: the adapter and target groups
// and the command buttons disabled, closing refused. Unlocks on every way out.
class TForm_Main::UpdateLock {
public:
    explicit UpdateLock(TForm_Main& form) : form_(form) {
        form_.set_controls_enabled(false);
        form_.update_running_ = true;
    }
    ~UpdateLock() {
        form_.update_running_ = false;
        form_.set_controls_enabled(true);
    }
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;

private:
    TForm_Main& form_;
};

TForm_Main::TForm_Main(QWidget* parent) : QWidget(parent), file_chooser_(ask_for_firmware_file) {
    setObjectName(QStringLiteral("Form_Main"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
    // Both switches start off with every window; the adapter selection sets the LSI one.
    set_lsi_adapter(false);
    set_fae_test_mode(false);
    create_controls();
    FormCreate();
    if (const QScreen* desktop = screen()) {
        move(desktop->availableGeometry().center() - rect().center());
    }
}

TForm_Main::~TForm_Main() {
    // A window destroyed without closing still leaves the SCSI service stopped.
    if (form_shown_ && !form_closed_) scsi_stop();
}

QToolButton* TForm_Main::create_speed_button(QWidget* parent, const char* prefix, int index,
                                             int columns) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(prefix) + QString::number(index));
    button->setProperty("Tag", index);
    button->setCheckable(true);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(PICTURE_SIZE, PICTURE_SIZE));
    button->setGeometry(GRID_LEFT + GRID_PITCH_X * (index % columns),
                        GRID_TOP + GRID_PITCH_Y * (index / columns), SPEED_BUTTON_WIDTH,
                        SPEED_BUTTON_HEIGHT);
    return button;
}

void TForm_Main::create_controls() {
    Image_Main = new QLabel(this);
    Image_Main->setObjectName(QStringLiteral("Image_Main"));
    Image_Main->setGeometry(404, 12, PICTURE_SIZE, PICTURE_SIZE);
    Image_Main->installEventFilter(this);

    Label_Main = new QLabel(QStringLiteral("KORVEL"), this);
    Label_Main->setObjectName(QStringLiteral("Label_Main"));
    Label_Main->setGeometry(396, 48, 49, 19);
    Label_Main->setAlignment(Qt::AlignCenter);
    Label_Main->setFrameStyle(QFrame::Box | QFrame::Plain);
    Label_Main->setAutoFillBackground(true);
    QPalette logo_palette = Label_Main->palette();
    logo_palette.setColor(QPalette::Window, LOGO_LABEL_COLOUR);
    logo_palette.setColor(QPalette::WindowText, Qt::white);
    Label_Main->setPalette(logo_palette);

    Label_Version = new QLabel(this);
    Label_Version->setObjectName(QStringLiteral("Label_Version"));
    Label_Version->move(404, 68);
    Label_Version->setAlignment(Qt::AlignCenter);

    Label_FAETest = new QLabel(QStringLiteral("FAE Test"), this);
    Label_FAETest->setObjectName(QStringLiteral("Label_FAETest"));
    Label_FAETest->move(396, 88);
    Label_FAETest->setAutoFillBackground(true);
    QPalette fae_palette = Label_FAETest->palette();
    fae_palette.setColor(QPalette::Window, FAE_LABEL_COLOUR);
    fae_palette.setColor(QPalette::WindowText, Qt::black);
    Label_FAETest->setPalette(fae_palette);
    Label_FAETest->hide();

    GroupBox_Host = new QGroupBox(this);
    GroupBox_Host->setObjectName(QStringLiteral("GroupBox_Host"));
    GroupBox_Host->setGeometry(4, 4, 361, 133);
    host_group_ = new QButtonGroup(this);
    host_group_->setExclusive(true);
    for (int i = 0; i < HOST_BUTTONS; ++i) {
        QToolButton* button = create_speed_button(GroupBox_Host, "BTN_Host_", i, HOST_COLUMNS);
        button->setAutoRaise(true);
        host_group_->addButton(button, i);
        host_buttons[static_cast<std::size_t>(i)] = button;
    }
    connect(host_group_, &QButtonGroup::buttonClicked, this, &TForm_Main::BTN_Host_0Click);

    GroupBox_Target = new QGroupBox(this);
    GroupBox_Target->setObjectName(QStringLiteral("GroupBox_Target"));
    GroupBox_Target->setGeometry(4, 140, 453, 189);
    target_group_ = new QButtonGroup(this);
    target_group_->setExclusive(true);
    for (int i = 0; i < TARGET_BUTTONS; ++i) {
        QToolButton* button =
            create_speed_button(GroupBox_Target, "BTN_Target_", i, TARGET_COLUMNS);
        target_group_->addButton(button, i);
        target_buttons[static_cast<std::size_t>(i)] = button;
    }
    connect(target_group_, &QButtonGroup::buttonClicked, this, &TForm_Main::BTN_Target_0Click);

    BTN_UpdateKORVEL = new QPushButton(this);
    BTN_UpdateKORVEL->setObjectName(QStringLiteral("BTN_UpdateKORVEL"));
    BTN_UpdateKORVEL->setGeometry(28, 336, 185, 25);
    connect(BTN_UpdateKORVEL, &QPushButton::clicked, this, &TForm_Main::BTN_UpdateKORVELClick);

    BTN_BackupKORVEL = new QPushButton(QStringLiteral("&Backup Firmware"), this);
    BTN_BackupKORVEL->setObjectName(QStringLiteral("BTN_BackupKORVEL"));
    BTN_BackupKORVEL->setGeometry(240, 336, 113, 25);
    BTN_BackupKORVEL->hide();
    connect(BTN_BackupKORVEL, &QPushButton::clicked, this, &TForm_Main::BTN_BackupKORVELClick);

    BTN_Exit = new QPushButton(this);
    BTN_Exit->setObjectName(QStringLiteral("BTN_Exit"));
    BTN_Exit->setGeometry(364, 336, 69, 25);
    connect(BTN_Exit, &QPushButton::clicked, this, &TForm_Main::BTN_ExitClick);
    // Escape presses the exit button (which does nothing while it is disabled).
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, BTN_Exit, &QPushButton::click);

    // Nothing is selected before the first scan.
    BTN_UpdateKORVEL->setEnabled(false);
    BTN_BackupKORVEL->setEnabled(false);
}

void TForm_Main::FormCreate() {
    char version[VERSION_TEXT_SIZE] = {};
    version_text(path_for_utilities(QCoreApplication::applicationFilePath()).constData(), version,
                 sizeof version);
    Label_Version->setText(QString::fromLatin1(version));

    {
        BusyCursor busy;
        char font_name[FONT_NAME_SIZE] = {};
        QFont window_font = font();
        if (default_font_name(font_name, sizeof font_name)[0] != '\0') {
            window_font.setFamily(QString::fromUtf8(font_name));
        }
        window_font.setPixelSize(DESIGN_FONT_PIXELS);
        setFont(window_font);

        // Centred under the logo, measured in the window's own font.
        for (QLabel* label : {Label_Main, Label_Version, Label_FAETest}) label->adjustSize();
        Label_Main->resize(49, 19);
        const int centre = Image_Main->x() + Image_Main->width() / 2;
        Label_Main->move(centre - Label_Main->width() / 2, Label_Main->y());
        Label_Version->move(centre - Label_Version->width() / 2, Label_Version->y());

        setWindowTitle(QString::fromLatin1(APPLICATION_TITLE));
        setWindowIcon(application_icon());
        Image_Main->setPixmap(application_pixmap(devicePixelRatioF()));

        GroupBox_Host->setTitle(QString::fromUtf8(message_text(MSG_HOST_CARD)));
        GroupBox_Target->setTitle(QString::fromUtf8(message_text(MSG_TARGET_DEVICE)));
        BTN_Exit->setText(QString::fromUtf8(message_text(MSG_EXIT_BUTTON)));
        BTN_UpdateKORVEL->setText(QString::fromUtf8(message_text(MSG_UPDATE_BUTTON)));

        open_dialog_filter_ = qt_file_filter(message_text(MSG_FIRMWARE_FILE_FILTER));

        const QIcon adapter_picture = host_adapter_picture();
        for (QToolButton* button : host_buttons) button->setIcon(adapter_picture);
        for (std::size_t type = 0; type < ImageList_Target.size(); ++type) {
            ImageList_Target[type] = device_picture(static_cast<int>(type));
        }
    }

    install_hint_timing();
    for (QToolButton* button : target_buttons) button->setToolTipDuration(HINT_HIDE_PAUSE_MS);
}

void TForm_Main::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!form_show_queued_) {
        form_show_queued_ = true;
        // After the window has had its first paint, so the person sees it while the bus is
        // examined.
        QTimer::singleShot(0, this, &TForm_Main::FormShow);
    }
}

void TForm_Main::FormShow() {
    if (form_shown_) return;
    form_shown_ = true;
    BusyCursor busy;
    if (scsi_start() <= 0) {
        start_failed_ = true;
        show_message(message_text(MSG_ASPI_START_FAILED), message_text(MSG_CAPTION_ERROR),
                     MB_ICON_STOP_OK);
        close();
        return;
    }
    const int adapters = adapter_count();
    for (int i = 0; i < HOST_BUTTONS; ++i) {
        char identifier[ADAPTER_IDENTIFIER_CAPACITY] = {};
        adapter_identifier(static_cast<std::uint8_t>(i), identifier);
        host_names_[static_cast<std::size_t>(i)] = QString::fromLatin1(identifier);
        QToolButton* button = host_buttons[static_cast<std::size_t>(i)];
        button->setText(caption_text(host_names_[static_cast<std::size_t>(i)]));
        button->setVisible(i < adapters);
    }
    select_host(0);
}

void TForm_Main::BTN_Host_0Click(QAbstractButton* sender) {
    if (sender == nullptr) return;
    select_host(sender->property("Tag").toInt());
}

void TForm_Main::select_host(int index) {
    if (index < 0 || index >= HOST_BUTTONS) return;
    selected_host_ = index;
    host_buttons[static_cast<std::size_t>(index)]->setChecked(true);
    BTN_BackupKORVEL->setEnabled(false);
    BTN_UpdateKORVEL->setEnabled(false);
    set_lsi_adapter(is_lsi_adapter_name(host_names_[static_cast<std::size_t>(index)]));
    scan_host();
    if (target_count_ > 0) select_target(0);
}

void TForm_Main::scan_host() {
    const auto host = static_cast<std::uint8_t>(selected_host_);
    target_count_ = 0;
    for (int id = 0; id < SCANNED_TARGETS; ++id) {
        // Fifteen buttons: a sixteenth bridge on one adapter stays unshown rather than
        // overrunning the table.
        if (target_count_ == TARGET_BUTTONS) break;
        const auto target = static_cast<std::uint8_t>(id);
        TargetRecord record{};
        record.target = id;
        record.lun = 0;
        std::int32_t type = -1;
        std::int32_t removable = 0;
        std::int32_t family = FAMILY_NONE;
        scsi_inquiry(host, target, 0, type, removable, family, record.bridge_ident,
                     record.vendor, record.product, record.revision);
        if (type < 0) continue;
        std::uint8_t wide = 0;
        std::int32_t speed = RATE_UNKNOWN;
        if (family == FAMILY_NONE) {
            identify_bridge(host, target, 0, family, record.bridge_ident, &wide, &speed);
        }
        if (family == FAMILY_NONE) continue;

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
        facts.wide = wide;
        facts.speed = speed;
        if (type_has_capacity(type)) {
            scsi_read_capacity(host, target, 0, &facts.block_count, &facts.block_length);
        }

        const auto index = static_cast<std::size_t>(target_count_);
        records_[index] = record;
        char name[DEVICE_TYPE_NAME_SIZE] = {};
        QToolButton* button = target_buttons[index];
        button->setText(QString::fromUtf8(device_type_name(type, SCAN_QUALIFIER, name, sizeof name)));
        button->setIcon(ImageList_Target[std::min(static_cast<std::size_t>(type),
                                                  ImageList_Target.size() - 1)]);
        button->setToolTip(QString::fromUtf8(device_hint(facts).c_str()));
        button->show();
        ++target_count_;
    }
    for (int i = target_count_; i < TARGET_BUTTONS; ++i) {
        target_buttons[static_cast<std::size_t>(i)]->hide();
    }
}

void TForm_Main::BTN_Target_0Click(QAbstractButton* sender) {
    if (sender == nullptr) return;
    select_target(sender->property("Tag").toInt());
}

void TForm_Main::select_target(int index) {
    if (index < 0 || index >= target_count_) return;
    selection_ = records_[static_cast<std::size_t>(index)];
    target_buttons[static_cast<std::size_t>(index)]->setChecked(true);
    set_command_buttons_enabled(family_has_module(selection_.family_code));
}

void TForm_Main::set_command_buttons_enabled(bool enabled) {
    BTN_BackupKORVEL->setEnabled(enabled);
    BTN_UpdateKORVEL->setEnabled(enabled);
}

void TForm_Main::set_controls_enabled(bool enabled) {
    if (!enabled) {
        GroupBox_Host->setEnabled(false);
        GroupBox_Target->setEnabled(false);
        BTN_Exit->setEnabled(false);
        BTN_BackupKORVEL->setEnabled(false);
        BTN_UpdateKORVEL->setEnabled(false);
        return;
    }
    // The command buttons come back as the selection allows, not blindly on.
    const bool offered = target_count_ > 0 && family_has_module(selection_.family_code);
    BTN_UpdateKORVEL->setEnabled(offered);
    BTN_BackupKORVEL->setEnabled(offered);
    BTN_Exit->setEnabled(true);
    GroupBox_Target->setEnabled(true);
    GroupBox_Host->setEnabled(true);
}

void TForm_Main::BTN_UpdateKORVELClick() {
    // Only a device shown on the selected adapter may be written; a second command while one
    // runs is refused.
    if (update_running_ || target_count_ == 0) return;
    bool wrote = false;
    BusyCursor busy;
    UpdateLock lock(*this);

    const QString path = file_chooser_ ? file_chooser_(this, open_dialog_filter_, firmware_folder_)
                                       : QString();
    if (path.isEmpty()) return;
    const int file = open_file(path_for_utilities(path).constData(), FIRMWARE_OPEN_MODE);
    if (file <= 0) return;

    const int result =
        update_firmware_for_family(selection_.family_code, selected_host_, selection_.target,
                                   selection_.lun, selection_.bridge_ident, file);
    if (result == UPDATE_NO_MODULE) {
        show_message(UNKNOWN_DEVICE_TEXT, message_text(MSG_CAPTION_ERROR), MB_ICON_STOP_OK);
        file_close(file);
    } else if (result == UPDATE_WRITTEN) {
        wrote = true;
        firmware_written_ = true;
    }
    if (wrote) {
        read_sub_channel(static_cast<std::uint8_t>(selected_host_),
                         static_cast<std::uint8_t>(selection_.target),
                         static_cast<std::uint8_t>(selection_.lun));
    }
}

void TForm_Main::BTN_BackupKORVELClick() {
    // Firmware is never read back into a file; the button has no operation.
}

void TForm_Main::BTN_ExitClick() { close(); }

bool TForm_Main::FormCloseQuery() const { return !update_running_; }

void TForm_Main::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TForm_Main::FormClose() {
    if (form_closed_) return;
    form_closed_ = true;
    if (firmware_written_) {
        show_message(message_text(MSG_REBOOT_REMINDER), message_text(MSG_CAPTION_INFORMATION),
                     MB_ICON_INFORMATION_OK);
    }
    BusyCursor busy;
    scsi_stop();
}

bool TForm_Main::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image_Main && (event->type() == QEvent::MouseButtonPress ||
                                  event->type() == QEvent::MouseButtonDblClick)) {
        // A quick second press arrives as a double click; it counts as a press of its own.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        Image_MainMouseDown(mouse->button(), mouse->modifiers());
    }
    return QWidget::eventFilter(watched, event);
}

void TForm_Main::Image_MainMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
    constexpr Qt::KeyboardModifiers considered =
        Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (button != FAE_GESTURE_BUTTON || (modifiers & considered) != FAE_GESTURE_MODIFIERS) return;
    set_fae_test_mode(!fae_test_mode());
    Label_FAETest->setVisible(fae_test_mode());
}

void TForm_Main::set_file_chooser(FirmwareFileChooser chooser) {
    file_chooser_ = std::move(chooser);
}

void TForm_Main::set_firmware_folder(const QString& folder) { firmware_folder_ = folder; }

const TargetRecord& TForm_Main::target_record(int index) const {
    static const TargetRecord none{};
    if (index < 0 || index >= target_count_) return none;
    return records_[static_cast<std::size_t>(index)];
}

}  // namespace korvel
