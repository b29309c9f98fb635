#include "sim_screenshots.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

#include <cstdio>

#include "korvel_main.h"

namespace korvel {

namespace {

constexpr int SETTLE_MS = 700;
constexpr int MARGIN = 12;

// Saves the part of the screen around area.
void save_screen(const QRect& area, const QString& path) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect region = area.adjusted(-MARGIN, -MARGIN, MARGIN, MARGIN)
                             .intersected(screen->geometry());
    const QPixmap picture =
        screen->grabWindow(0, region.x(), region.y(), region.width(), region.height());
    if (!picture.save(path)) std::fprintf(stderr, "korvel-sim: cannot save %s\n", qPrintable(path));
}

// The first shown target of a family.
int first_button_of(const TForm_Main& form, std::int32_t family) {
    for (int i = 0; i < form.form().target_count(); ++i) {
        if (form.form().target_record(i).family_code == family) return i;
    }
    return 0;
}

class ScreenshotRun {
public:
    ScreenshotRun(TForm_Main& form, QString folder, QString tag, QString firmware_folder)
        : form_(form), folder_(std::move(folder)), tag_(std::move(tag)),
          firmware_folder_(std::move(firmware_folder)) {}

    void window_shot() {
        save_screen(form_.frameGeometry(), path("window"));
        QTimer::singleShot(0, &form_, [this] { hint_shot(); });
    }

    void hint_shot() {
        const int index = first_button_of(form_, FAMILY_PV40);  // capacity and bus speed to show
        auto* button = form_.findChild<QToolButton*>(QStringLiteral("BTN_Target_%1").arg(index));
        button->click();
        QToolTip::showText(button->mapToGlobal(button->rect().center()), button->toolTip(),
                           button);
        QTimer::singleShot(SETTLE_MS, &form_, [this] {
            QRect area = form_.frameGeometry();
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top->isVisible() && top->inherits("QTipLabel")) area |= top->frameGeometry();
            }
            save_screen(area, path("hint"));
            QToolTip::hideText();
            confirm_shot();
        });
    }

    void confirm_shot() {
        const QString sample = QDir(firmware_folder_).filePath(QStringLiteral("PV40-QTRLB-0E1.bin"));
        form_.set_file_chooser([sample](QWidget*, const QString&, const QString&) { return sample; });
        QTimer::singleShot(SETTLE_MS, &form_, [this] { answer_confirmation(); });
        form_.form().BTN_UpdateKORVELClick();
        progress_shot();
    }

    void answer_confirmation() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            QTimer::singleShot(100, &form_, [this] { answer_confirmation(); });
            return;
        }
        save_screen(form_.frameGeometry() | box->frameGeometry(), path("confirm"));
        if (QAbstractButton* no = box->button(QMessageBox::No)) {
            no->click();
        } else {
            box->reject();
        }
    }

    // The same update answered Yes: the demo's bridges take their time to flash, so a moment
    // into it the progress bar and its line are showing. The boxes after it, the reminder at
    // close included, are closed.
    void progress_shot() {
        const int index = first_button_of(form_, FAMILY_PV70);
        form_.findChild<QToolButton*>(QStringLiteral("BTN_Target_%1").arg(index))->click();
        const QDir folder(firmware_folder_);
        const QStringList pv70 = folder.entryList({QStringLiteral("PV70*.bin")}, QDir::Files);
        const QString sample = pv70.isEmpty() ? QString() : folder.filePath(pv70.first());
        form_.set_file_chooser([sample](QWidget*, const QString&, const QString&) { return sample; });
        QTimer::singleShot(SETTLE_MS, &form_, [this] { answer_boxes(QMessageBox::Yes); });
        QTimer::singleShot(SETTLE_MS * 4, &form_,
                           [this] { save_screen(form_.frameGeometry(), path("progress")); });
        form_.form().BTN_UpdateKORVELClick();
        form_.close();
    }

    void answer_boxes(QMessageBox::StandardButton answer) {
        if (!form_.isVisible()) return;
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (QAbstractButton* button = box->button(answer)) {
                button->click();
            } else {
                box->accept();
            }
            answer = QMessageBox::Ok;
        }
        QTimer::singleShot(100, &form_, [this, answer] { answer_boxes(answer); });
    }

private:
    QString path(const char* name) const {
        return QDir(folder_).filePath(QString::fromLatin1(name) + u'-' + tag_ + QStringLiteral(".png"));
    }

    TForm_Main& form_;
    QString folder_;
    QString tag_;
    QString firmware_folder_;
};

}  // namespace

void take_screenshots(TForm_Main& form, const QString& folder, const QString& tag,
                      const QString& firmware_folder) {
    QDir().mkpath(folder);
    auto* run = new ScreenshotRun(form, folder, tag, firmware_folder);
    QObject::connect(&form, &QObject::destroyed, [run] { delete run; });
    QTimer::singleShot(SETTLE_MS * 2, &form, [run] { run->window_shot(); });
}

}  // namespace korvel
