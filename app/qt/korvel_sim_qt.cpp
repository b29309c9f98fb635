// korvel-sim with the Qt face: the window of korvel-update over the simulated system (see
// harness/korvel_sim_main.h for what it does and its command line).
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QString>
#include <QTimer>

#include "korvel_main.h"
#include "korvel_program.h"
#include "korvel_sim_main.h"
#include "sim_screenshots.h"
#include "sim_script_run.h"
#include "sim_window.h"

namespace korvel {

namespace {

// The SimWindow of a scripted run over the Qt window's widgets.
class QtSimWindow final : public SimWindow {
public:
    explicit QtSimWindow(TForm_Main& form) : window_(form) {}

    const MainForm& form() const override { return window_.form(); }
    bool shown() const override { return window_.isVisible(); }
    bool control_shown(int control) const override {
        const QWidget* widget = window_.control_widget(control);
        return widget != nullptr && widget->isVisibleTo(&window_);
    }
    bool control_enabled(int control) const override {
        const QWidget* widget = window_.control_widget(control);
        return widget != nullptr && widget->isEnabled();
    }
    std::string control_text(int control) const override {
        const auto* button = qobject_cast<const QAbstractButton*>(window_.control_widget(control));
        return button != nullptr ? button->text().toStdString() : std::string();
    }
    std::string control_hint(int control) const override {
        const QWidget* widget = window_.control_widget(control);
        return widget != nullptr ? widget->toolTip().toStdString() : std::string();
    }

    void click(int control) override {
        if (auto* button = qobject_cast<QAbstractButton*>(window_.control_widget(control))) {
            button->click();
        }
    }
    void fae_gesture() override {
        QWidget* logo = window_.control_widget(controls::Image_Main);
        const QPointF inside(logo->width() / 2.0, logo->height() / 2.0);
        const QPointF on_screen = logo->mapToGlobal(inside);
        QMouseEvent press(QEvent::MouseButtonPress, inside, on_screen, FAE_GESTURE_QT_BUTTON,
                          FAE_GESTURE_QT_BUTTON, FAE_GESTURE_MODIFIERS);
        QApplication::sendEvent(logo, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, inside, on_screen, FAE_GESTURE_QT_BUTTON,
                            Qt::NoButton, FAE_GESTURE_MODIFIERS);
        QApplication::sendEvent(logo, &release);
    }
    void close() override { window_.close(); }
    void answer_file_dialog(std::function<std::optional<std::string>()> answer) override {
        window_.set_file_chooser([answer](QWidget*, const QString&, const QString&) {
            const std::optional<std::string> file = answer();
            return file ? QString::fromStdString(*file) : QString();
        });
    }

    void post(std::function<void()> task) override {
        QTimer::singleShot(0, &window_, std::move(task));
    }
    void quit(int code) override { QCoreApplication::exit(code); }
    void process_events() override { QCoreApplication::processEvents(); }

private:
    TForm_Main& window_;
};

class QtSimFace final : public SimFace {
public:
    int run(SimFaceStart& start) override {
        // A scripted run shows nothing.
        if (start.scripted != nullptr) qputenv("QT_QPA_PLATFORM", "offscreen");
        int argc = static_cast<int>(start.toolkit_arguments.size()) - 1;
        return run_program(argc, start.toolkit_arguments.data(), [&](TForm_Main& form) {
            const QString folder = QString::fromStdString(start.firmware_folder);
            form.set_firmware_folder(folder);
            if (start.scripted != nullptr) {
                window_.emplace(form);
                start.scripted->begin(*window_);
            } else if (!start.screenshot_folder.empty()) {
                take_screenshots(form, QString::fromStdString(start.screenshot_folder),
                                 QString::fromStdString(start.screenshot_tag), folder);
            }
        });
    }

private:
    std::optional<QtSimWindow> window_;
};

}  // namespace

}  // namespace korvel

int main(int argc, char** argv) {
    korvel::QtSimFace face;
    return korvel::korvel_sim_main(argc, argv, face);
}
