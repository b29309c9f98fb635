#include "korvel_main.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QFile>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

#include "firmware_file_dialog.h"
#include "korvel_main_layout.h"
#include "korvel_msg.h"
#include "korvel_pictures.h"

namespace korvel {

using namespace layout;

namespace {

QColor qt_colour(Colour colour) { return QColor(colour.red, colour.green, colour.blue); }

void set_box(QWidget* widget, Box box) { widget->setGeometry(box.x, box.y, box.width, box.height); }

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

QString path_from_utilities(const std::string& path) {
#ifdef _WIN32
    return QString::fromStdString(path);
#else
    return QFile::decodeName(QByteArray::fromStdString(path));
#endif
}

// A text as a button caption: '&' would otherwise mark a shortcut key.
QString caption_text(const char* text) {
    QString caption = QString::fromUtf8(text);
    caption.replace(u'&', QStringLiteral("&&"));
    return caption;
}

MouseButton form_button(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton: return MouseButton::left;
        case Qt::RightButton: return MouseButton::right;
        case Qt::MiddleButton: return MouseButton::middle;
        default: return MouseButton::other;
    }
}

unsigned form_keys(Qt::KeyboardModifiers modifiers) {
    unsigned keys = 0;
    if (modifiers & Qt::ShiftModifier) keys |= KEY_SHIFT;
    if (modifiers & Qt::ControlModifier) keys |= KEY_CONTROL;
    if (modifiers & Qt::AltModifier) keys |= KEY_ALT;
    if (modifiers & Qt::MetaModifier) keys |= KEY_META;
    return keys;
}

}  // namespace

static_assert(FAE_GESTURE_BUTTON == MouseButton::right && FAE_GESTURE_KEYS == (KEY_CONTROL | KEY_SHIFT),
              "the Qt spelling of the FAE gesture follows the form's");

TForm_Main::TForm_Main(QWidget* parent)
    : QWidget(parent), form_(*this), file_chooser_(ask_for_firmware_file) {
    setObjectName(QStringLiteral("Form_Main"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
    create_controls();
    form_.FormCreate(path_for_utilities(QCoreApplication::applicationFilePath()).constData());
    open_dialog_filter_ = qt_file_filter(message_text(MSG_FIRMWARE_FILE_FILTER));
    install_hint_timing();
    for (QToolButton* button : target_buttons) button->setToolTipDuration(HINT_HIDE_PAUSE_MS);
    if (const QScreen* desktop = screen()) {
        move(desktop->availableGeometry().center() - rect().center());
    }
}

TForm_Main::~TForm_Main() = default;

QToolButton* TForm_Main::create_speed_button(QWidget* parent, const char* prefix, int index,
                                             int columns) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(prefix) + QString::number(index));
    button->setProperty("Tag", index);
    button->setCheckable(true);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(PICTURE_SIZE, PICTURE_SIZE));
    set_box(button, speed_button(index, columns));
    return button;
}

void TForm_Main::create_controls() {
    Image_Main = new QLabel(this);
    Image_Main->setObjectName(QStringLiteral("Image_Main"));
    set_box(Image_Main, LOGO);
    Image_Main->installEventFilter(this);

    Label_Main = new QLabel(QStringLiteral("KORVEL"), this);
    Label_Main->setObjectName(QStringLiteral("Label_Main"));
    set_box(Label_Main, LOGO_LABEL);
    Label_Main->setAlignment(Qt::AlignCenter);
    Label_Main->setFrameStyle(QFrame::Box | QFrame::Plain);
    Label_Main->setAutoFillBackground(true);
    QPalette logo_palette = Label_Main->palette();
    logo_palette.setColor(QPalette::Window, qt_colour(LOGO_LABEL_COLOUR));
    logo_palette.setColor(QPalette::WindowText, Qt::white);
    Label_Main->setPalette(logo_palette);

    Label_Version = new QLabel(this);
    Label_Version->setObjectName(QStringLiteral("Label_Version"));
    Label_Version->move(LOGO.x, VERSION_LABEL_Y);
    Label_Version->setAlignment(Qt::AlignCenter);

    Label_FAETest = new QLabel(QStringLiteral("FAE Test"), this);
    Label_FAETest->setObjectName(QStringLiteral("Label_FAETest"));
    Label_FAETest->move(FAE_LABEL.x, FAE_LABEL.y);
    Label_FAETest->setAutoFillBackground(true);
    QPalette fae_palette = Label_FAETest->palette();
    fae_palette.setColor(QPalette::Window, qt_colour(FAE_LABEL_COLOUR));
    fae_palette.setColor(QPalette::WindowText, Qt::black);
    Label_FAETest->setPalette(fae_palette);
    Label_FAETest->hide();

    GroupBox_Host = new QGroupBox(this);
    GroupBox_Host->setObjectName(QStringLiteral("GroupBox_Host"));
    set_box(GroupBox_Host, HOST_GROUP);
    host_group_ = new QButtonGroup(this);
    host_group_->setExclusive(true);
    for (int i = 0; i < HOST_BUTTONS; ++i) {
        QToolButton* button = create_speed_button(GroupBox_Host, "BTN_Host_", i, HOST_COLUMNS);
        button->setAutoRaise(true);
        host_group_->addButton(button, i);
        host_buttons[static_cast<std::size_t>(i)] = button;
    }
    connect(host_group_, &QButtonGroup::buttonClicked, this, [this](QAbstractButton* sender) {
        form_.BTN_Host_0Click(sender->property("Tag").toInt());
    });

    GroupBox_Target = new QGroupBox(this);
    GroupBox_Target->setObjectName(QStringLiteral("GroupBox_Target"));
    set_box(GroupBox_Target, TARGET_GROUP);
    target_group_ = new QButtonGroup(this);
    target_group_->setExclusive(true);
    for (int i = 0; i < TARGET_BUTTONS; ++i) {
        QToolButton* button =
            create_speed_button(GroupBox_Target, "BTN_Target_", i, TARGET_COLUMNS);
        target_group_->addButton(button, i);
        target_buttons[static_cast<std::size_t>(i)] = button;
    }
    connect(target_group_, &QButtonGroup::buttonClicked, this, [this](QAbstractButton* sender) {
        form_.BTN_Target_0Click(sender->property("Tag").toInt());
    });

    BTN_UpdateKORVEL = new QPushButton(this);
    BTN_UpdateKORVEL->setObjectName(QStringLiteral("BTN_UpdateKORVEL"));
    set_box(BTN_UpdateKORVEL, UPDATE_BUTTON);
    connect(BTN_UpdateKORVEL, &QPushButton::clicked, this,
            [this] { form_.BTN_UpdateKORVELClick(); });

    BTN_BackupKORVEL = new QPushButton(QStringLiteral("&Backup Firmware"), this);
    BTN_BackupKORVEL->setObjectName(QStringLiteral("BTN_BackupKORVEL"));
    set_box(BTN_BackupKORVEL, BACKUP_BUTTON);
    BTN_BackupKORVEL->hide();
    connect(BTN_BackupKORVEL, &QPushButton::clicked, this,
            [this] { form_.BTN_BackupKORVELClick(); });

    BTN_Exit = new QPushButton(this);
    BTN_Exit->setObjectName(QStringLiteral("BTN_Exit"));
    set_box(BTN_Exit, EXIT_BUTTON);
    connect(BTN_Exit, &QPushButton::clicked, this, [this] { form_.BTN_ExitClick(); });
    // Escape presses the exit button (which does nothing while it is disabled).
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, BTN_Exit, &QPushButton::click);

    Label_Progress = new QLabel(this);
    Label_Progress->setObjectName(QStringLiteral("Label_Progress"));
    set_box(Label_Progress, PROGRESS_TEXT);
    Label_Progress->setAlignment(Qt::AlignCenter);
    Label_Progress->hide();
    Progress_Update = new QProgressBar(this);
    Progress_Update->setObjectName(QStringLiteral("Progress_Update"));
    set_box(Progress_Update, PROGRESS_BAR);
    Progress_Update->setRange(0, 100);
    Progress_Update->setTextVisible(false);
    Progress_Update->hide();

    for (std::size_t type = 0; type < ImageList_Target.size(); ++type) {
        ImageList_Target[type] = device_picture(static_cast<int>(type));
    }
}

QWidget* TForm_Main::control_widget(int control) const {
    if (control >= controls::BTN_Host_0 && control < controls::BTN_Host_0 + HOST_BUTTONS) {
        return host_buttons[static_cast<std::size_t>(control - controls::BTN_Host_0)];
    }
    if (control >= controls::BTN_Target_0 && control < controls::BTN_Target_0 + TARGET_BUTTONS) {
        return target_buttons[static_cast<std::size_t>(control - controls::BTN_Target_0)];
    }
    switch (control) {
        case controls::Image_Main: return Image_Main;
        case controls::Label_Main: return Label_Main;
        case controls::Label_Version: return Label_Version;
        case controls::Label_FAETest: return Label_FAETest;
        case controls::GroupBox_Host: return GroupBox_Host;
        case controls::GroupBox_Target: return GroupBox_Target;
        case controls::BTN_UpdateKORVEL: return BTN_UpdateKORVEL;
        case controls::BTN_BackupKORVEL: return BTN_BackupKORVEL;
        case controls::BTN_Exit: return BTN_Exit;
        case controls::Progress_Update: return Progress_Update;
        case controls::Label_Progress: return Label_Progress;
        default: return nullptr;
    }
}

void TForm_Main::lay_out_logo_labels() {
    for (QLabel* label : {Label_Main, Label_Version, Label_FAETest}) label->adjustSize();
    Label_Main->resize(LOGO_LABEL.width, LOGO_LABEL.height);
    const int centre = Image_Main->x() + Image_Main->width() / 2;
    Label_Main->move(centre - Label_Main->width() / 2, Label_Main->y());
    Label_Version->move(centre - Label_Version->width() / 2, Label_Version->y());
}

// --- MainView ----------------------------------------------------------------------------------

void TForm_Main::set_caption(int control, const char* text) {
    if (control == controls::Form_Main) {
        setWindowTitle(QString::fromUtf8(text));
        return;
    }
    if (auto* label = qobject_cast<QLabel*>(control_widget(control))) {
        label->setText(QString::fromUtf8(text));
        lay_out_logo_labels();
    } else if (auto* group = qobject_cast<QGroupBox*>(control_widget(control))) {
        group->setTitle(QString::fromUtf8(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(control_widget(control))) {
        // Adapter names and device types are shown as they are; the command buttons' captions
        // mark their shortcut key with '&'.
        const bool command = control == controls::BTN_UpdateKORVEL || control == controls::BTN_Exit;
        button->setText(command ? QString::fromUtf8(text) : caption_text(text));
    }
}

void TForm_Main::set_picture(int control, int picture) {
    if (control == controls::Image_Main) {
        setWindowIcon(application_icon());
        Image_Main->setPixmap(application_pixmap(devicePixelRatioF()));
        return;
    }
    auto* button = qobject_cast<QToolButton*>(control_widget(control));
    if (button == nullptr) return;
    if (picture == PICTURE_HOST_ADAPTER) {
        button->setIcon(host_adapter_picture());
    } else if (picture >= 0 && picture < DEVICE_PICTURES) {
        button->setIcon(ImageList_Target[static_cast<std::size_t>(picture)]);
    }
}

void TForm_Main::set_hint(int control, const char* text) {
    if (QWidget* widget = control_widget(control)) widget->setToolTip(QString::fromUtf8(text));
}

void TForm_Main::set_shown(int control, bool shown) {
    if (QWidget* widget = control_widget(control)) widget->setVisible(shown);
}

void TForm_Main::set_checked(int control) {
    if (auto* button = qobject_cast<QAbstractButton*>(control_widget(control))) {
        button->setChecked(true);
    }
}

void TForm_Main::set_enabled(int control, bool enabled) {
    if (QWidget* widget = control_widget(control)) widget->setEnabled(enabled);
}

void TForm_Main::set_focus(int control) {
    // On an inactive window this only names the control that takes the focus when the window
    // is next activated.
    if (QWidget* widget = control_widget(control)) widget->setFocus(Qt::OtherFocusReason);
}

void TForm_Main::set_font(const char* family) {
    QFont window_font = font();
    if (family != nullptr && family[0] != '\0') window_font.setFamily(QString::fromUtf8(family));
    window_font.setPixelSize(DESIGN_FONT_PIXELS);
    setFont(window_font);
    lay_out_logo_labels();
}

void TForm_Main::set_busy(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    } else {
        QApplication::restoreOverrideCursor();
    }
}

std::string TForm_Main::choose_firmware_file(const char* /*filter*/, const std::string& folder) {
    // The filter was turned into Qt's form once, at creation.
    const QString path = file_chooser_
                             ? file_chooser_(this, open_dialog_filter_, path_from_utilities(folder))
                             : QString();
    return path_for_utilities(path).toStdString();
}

void TForm_Main::set_progress(bool shown, int percent, const char* text) {
    Progress_Update->setValue(percent);
    Label_Progress->setText(QString::fromUtf8(text));
    Progress_Update->setVisible(shown);
    Label_Progress->setVisible(shown);
}

void TForm_Main::close_window() { close(); }

// --- Toolkit events ----------------------------------------------------------------------------

void TForm_Main::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!form_show_queued_) {
        form_show_queued_ = true;
        // After the window has had its first paint, so the person sees it while the bus is
        // examined.
        QTimer::singleShot(0, this, [this] { form_.FormShow(); });
    }
}

void TForm_Main::closeEvent(QCloseEvent* event) {
    if (!form_.FormCloseQuery()) {
        event->ignore();
        return;
    }
    form_.FormClose();
    event->accept();
}

bool TForm_Main::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image_Main && (event->type() == QEvent::MouseButtonPress ||
                                  event->type() == QEvent::MouseButtonDblClick)) {
        // A quick second press arrives as a double click; it counts as a press of its own.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        form_.Image_MainMouseDown(form_button(mouse->button()), form_keys(mouse->modifiers()));
    }
    return QWidget::eventFilter(watched, event);
}

void TForm_Main::set_file_chooser(FirmwareFileChooser chooser) {
    file_chooser_ = std::move(chooser);
}

void TForm_Main::set_firmware_folder(const QString& folder) {
    form_.set_firmware_folder(path_for_utilities(folder).toStdString());
}

}  // namespace korvel
