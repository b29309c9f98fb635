#include "sim_script_run.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>

#include "korvel_main.h"
#include "korvel_pictures.h"

namespace korvel {

namespace {

// Start-up polls before the run gives up on a window that never starts (each one a pass of
// the event loop).
constexpr int START_POLL_LIMIT = 100000;

// Windows message box button sets (the low four bits of the flags) and answers.
constexpr std::uint32_t MB_TYPE_MASK = 0x0Fu;
constexpr std::uint32_t MB_OK_CANCEL = 1;
constexpr std::uint32_t MB_ABORT_RETRY_IGNORE = 2;
constexpr std::uint32_t MB_YES_NO_CANCEL = 3;
constexpr std::uint32_t MB_YES_NO = 4;
constexpr std::uint32_t MB_RETRY_CANCEL = 5;
constexpr int ID_CANCEL = 2;
constexpr int ID_IGNORE = 5;

// What a button shows: "&&" as "&", and no mnemonic marker.
QString shown_text(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return shown;
}

template <typename Widget>
Widget* control(const TForm_Main& form, const QString& name) {
    return form.findChild<Widget*>(name);
}

}  // namespace

void journal_commands(SimDevice& device, int host, int target, int lun, SimJournal& journal) {
    device.set_observer([&journal, host, target, lun](const SimJournalEntry& command) {
        journal.write(scsi_event(host, target, lun, command));
    });
}

ScriptedRun::ScriptedRun(TForm_Main& form, SimJournal& journal, std::vector<ScriptStep> steps)
    : form_(form), journal_(journal), steps_(std::move(steps)) {}

void ScriptedRun::begin() {
    install_user_interface(this);
    form_.set_file_chooser([this](QWidget*, const QString&, const QString&) {
        if (update_step_ == nullptr || !update_step_->file) return QString();
        return *update_step_->file;
    });
    QTimer::singleShot(0, &form_, [this] { run_when_started(); });
}

void ScriptedRun::run_when_started() {
    // The window starts from the event loop after its first showing; the steps wait until it
    // has, and never run inside a pass of the loop the program itself is making.
    if (form_.form().start_failed()) {
        QCoreApplication::quit();
        return;
    }
    if (!form_.form().service_started() || pumping_ > 0) {
        if (++start_polls_ > START_POLL_LIMIT) {
            std::fprintf(stderr, "korvel-sim: the window did not start; no step performed\n");
            QCoreApplication::exit(1);
            return;
        }
        QTimer::singleShot(0, &form_, [this] { run_when_started(); });
        return;
    }
    write_hosts();
    write_targets();
    write_controls();
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        journal_.write(JsonObjectText()
                           .text("event", QStringLiteral("step"))
                           .number("index", static_cast<std::int64_t>(i)));
        perform(steps_[i]);
        write_controls();
    }
    performed_ = true;
    // A window the script left open closes the ordinary way once the loop ends.
    QCoreApplication::quit();
}

void ScriptedRun::perform(const ScriptStep& step) {
    switch (step.action) {
    case ScriptAction::select_host:
        press_host(step.index);
        break;
    case ScriptAction::select_target:
        press_target(step.index);
        break;
    case ScriptAction::fae_gesture:
        make_fae_gesture();
        break;
    case ScriptAction::update:
        press_update(step);
        break;
    case ScriptAction::close:
        press_close();
        break;
    }
}

bool ScriptedRun::pressable(const QWidget* widget) const {
    return widget != nullptr && form_.isVisible() && widget->isVisible() && widget->isEnabled();
}

void ScriptedRun::press_host(int index) {
    auto* button = control<QToolButton>(form_, QStringLiteral("BTN_Host_%1").arg(index));
    if (!pressable(button)) return;
    // Every press of an adapter button scans that adapter.
    button->click();
    write_targets();
}

void ScriptedRun::press_target(int index) {
    auto* button = control<QToolButton>(form_, QStringLiteral("BTN_Target_%1").arg(index));
    if (pressable(button)) button->click();
}

void ScriptedRun::press_update(const ScriptStep& step) {
    auto* button = control<QPushButton>(form_, QStringLiteral("BTN_UpdateKORVEL"));
    if (!pressable(button)) return;
    update_step_ = &step;
    button->click();
    update_step_ = nullptr;
}

void ScriptedRun::make_fae_gesture() {
    auto* logo = control<QLabel>(form_, QStringLiteral("Image_Main"));
    if (!pressable(logo)) return;
    const QPointF inside(logo->width() / 2.0, logo->height() / 2.0);
    const QPointF on_screen = logo->mapToGlobal(inside);
    QMouseEvent press(QEvent::MouseButtonPress, inside, on_screen, FAE_GESTURE_QT_BUTTON,
                      FAE_GESTURE_QT_BUTTON, FAE_GESTURE_MODIFIERS);
    QApplication::sendEvent(logo, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, on_screen, FAE_GESTURE_QT_BUTTON,
                        Qt::NoButton, FAE_GESTURE_MODIFIERS);
    QApplication::sendEvent(logo, &release);
}

void ScriptedRun::press_close() {
    // The title bar's close button asks the window to close; the window may refuse.
    if (form_.isVisible()) form_.close();
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
                       .text("event", QStringLiteral("message"))
                       .text("text", QString::fromUtf8(text != nullptr ? text : ""))
                       .text("caption", QString::fromUtf8(caption != nullptr ? caption : ""))
                       .number("flags", flags)
                       .number("answer", answer)
                       .raw("controls", state.json()));
    return answer;
}

void ScriptedRun::process_pending_messages() {
    ++pumping_;
    QCoreApplication::processEvents();
    --pumping_;
}

void ScriptedRun::add_control_state(JsonObjectText& state) const {
    const auto enabled = [this](const char* name) {
        const auto* widget = control<QWidget>(form_, QString::fromLatin1(name));
        return widget != nullptr && widget->isEnabled();
    };
    const auto* fae_label = control<QLabel>(form_, QStringLiteral("Label_FAETest"));
    state.boolean("update", enabled("BTN_UpdateKORVEL"))
        .boolean("backup", enabled("BTN_BackupKORVEL"))
        .boolean("exit", enabled("BTN_Exit"))
        .boolean("host_group", enabled("GroupBox_Host"))
        .boolean("target_group", enabled("GroupBox_Target"))
        .boolean("fae_label", fae_label != nullptr && fae_label->isVisibleTo(&form_));
}

void ScriptedRun::write_hosts() {
    std::vector<QByteArray> captions;
    std::vector<QByteArray> visible;
    for (int i = 0; i < HOST_BUTTONS; ++i) {
        const auto* button = control<QToolButton>(form_, QStringLiteral("BTN_Host_%1").arg(i));
        captions.push_back(json_string(button != nullptr ? shown_text(button->text()) : QString()));
        visible.push_back(button != nullptr && button->isVisibleTo(&form_) ? "true" : "false");
    }
    journal_.write(JsonObjectText()
                       .text("event", QStringLiteral("hosts"))
                       .raw("captions", json_array(captions))
                       .raw("visible", json_array(visible)));
}

void ScriptedRun::write_targets() {
    std::vector<QByteArray> buttons;
    for (int i = 0; i < TARGET_BUTTONS; ++i) {
        const auto* button = control<QToolButton>(form_, QStringLiteral("BTN_Target_%1").arg(i));
        if (button == nullptr || !button->isVisibleTo(&form_)) continue;
        const int picture = std::clamp(form_.form().target_record(i).type, 0, DEVICE_PICTURES - 1);
        buttons.push_back(JsonObjectText()
                              .text("caption", shown_text(button->text()))
                              .number("picture", picture)
                              .text("hint", button->toolTip())
                              .json());
    }
    journal_.write(JsonObjectText()
                       .text("event", QStringLiteral("targets"))
                       .number("host", form_.form().selected_host())
                       .raw("buttons", json_array(buttons)));
}

void ScriptedRun::write_controls() {
    JsonObjectText event;
    event.text("event", QStringLiteral("controls"));
    add_control_state(event);
    journal_.write(event);
}

}  // namespace korvel
