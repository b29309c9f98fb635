// The seams Qt serves: message boxes with the Windows flags and button identifiers, bringing
// the window forward, pumping messages, the desktop font, and the dialog filter.
#include <QAbstractButton>
#include <QApplication>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>

#include <gtest/gtest.h>

#include "firmware_file_dialog.h"
#include "korvel_msg.h"
#include "lib_font.h"
#include "lib_getwnver.h"
#include "lib_global.h"
#include "linux_util_platform.h"
#include "qt_user_interface.h"
#include "ui_seam.h"

namespace korvel {
namespace {

/// What a box looked like when it came up.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton default_button = QMessageBox::NoButton;
    QString yes_caption;
    QString no_caption;
    bool arrow_cursor = false;
};

class QtMessageBoxes : public ::testing::Test {
protected:
    void SetUp() override { install_qt_user_interface(nullptr); }
    void TearDown() override {
        install_user_interface(nullptr);
        install_util_platform(UtilPlatform{});
    }

    /// Shows a box through show_message; once it is up, notes it and lets act answer it.
    int show(std::uint32_t flags, std::function<void(QMessageBox&)> act) {
        QTimer::singleShot(0, [this, act] { answer(act); });
        return show_message("Are you sure to update firmware ?", "Question", flags);
    }

    void answer(const std::function<void(QMessageBox&)>& act) {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            QTimer::singleShot(10, [this, act] { answer(act); });
            return;
        }
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.default_button = box->standardButton(box->defaultButton());
        if (QAbstractButton* yes = box->button(QMessageBox::Yes)) seen.yes_caption = yes->text();
        if (QAbstractButton* no = box->button(QMessageBox::No)) seen.no_caption = no->text();
        const QCursor* cursor = QApplication::overrideCursor();
        seen.arrow_cursor = cursor != nullptr && cursor->shape() == Qt::ArrowCursor;
        act(*box);
    }

    static std::function<void(QMessageBox&)> press(QMessageBox::StandardButton which) {
        return [which](QMessageBox& box) { box.button(which)->click(); };
    }

    SeenBox seen;
};

TEST_F(QtMessageBoxes, TheConfirmationAsksYesOrNoWithNoAsDefault) {
    EXPECT_EQ(show(MB_ICON_QUESTION_YES_NO_DEFAULT_NO, press(QMessageBox::Yes)), ID_YES);
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.default_button, QMessageBox::No);
    EXPECT_EQ(seen.title, "Question");
    EXPECT_EQ(seen.text, "Are you sure to update firmware ?");

    EXPECT_EQ(show(MB_ICON_QUESTION_YES_NO_DEFAULT_NO, press(QMessageBox::No)), ID_NO);
    // Closing the box never counts as Yes.
    EXPECT_EQ(show(MB_ICON_QUESTION_YES_NO_DEFAULT_NO, [](QMessageBox& box) { box.reject(); }),
              ID_NO);
    EXPECT_EQ(show(MB_ICON_QUESTION_YES_NO_DEFAULT_NO, [](QMessageBox& box) { box.done(0); }),
              ID_NO);
}

TEST_F(QtMessageBoxes, YesAndNoSpeakTheRunsLanguage) {
    show(MB_ICON_QUESTION_YES_NO_DEFAULT_NO, press(QMessageBox::No));
    EXPECT_EQ(seen.yes_caption, "&Yes");
    EXPECT_EQ(seen.no_caption, "&No");
    system_language = LANG_CHINESE;
    system_sublanguage = SUBLANG_CHINESE_TRADITIONAL;
    select_message_language();
    show(MB_ICON_QUESTION_YES_NO_DEFAULT_NO, press(QMessageBox::No));
    system_language = 0x09;
    system_sublanguage = 0x01;
    select_message_language();
    EXPECT_EQ(seen.yes_caption, "是(&Y)");
    EXPECT_EQ(seen.no_caption, "否(&N)");
}

TEST_F(QtMessageBoxes, ErrorAndInformationBoxesCarryTheirIconAndOneOkButton) {
    EXPECT_EQ(show(MB_ICON_STOP_OK, press(QMessageBox::Ok)), ID_OK);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    EXPECT_EQ(show(MB_ICON_INFORMATION_OK, [](QMessageBox& box) { box.reject(); }), ID_OK);
    EXPECT_EQ(seen.icon, QMessageBox::Information);
}

TEST_F(QtMessageBoxes, TextsAreShownLiterallyAndInTheirOwnCharacters) {
    QTimer::singleShot(0, [this] { answer(press(QMessageBox::Ok)); });
    show_message("<b>KORVEL 韌體更新失敗！</b>", "錯誤", MB_ICON_STOP_OK);
    EXPECT_EQ(seen.text, "<b>KORVEL 韌體更新失敗！</b>");
    EXPECT_EQ(seen.title, "錯誤");
}

TEST_F(QtMessageBoxes, ABusyCursorGivesWayToTheArrowWhileABoxIsUp) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    show(MB_ICON_STOP_OK, press(QMessageBox::Ok));
    EXPECT_TRUE(seen.arrow_cursor);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QApplication::restoreOverrideCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(QtMessageBoxes, AMinimisedWindowIsRestoredBeforeTheBox) {
    QWidget window;
    window.show();
    window.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(window.isMinimized());
    qt_user_interface().set_main_window(&window);
    show(MB_ICON_INFORMATION_OK, press(QMessageBox::Ok));
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
    qt_user_interface().set_main_window(nullptr);
}

TEST_F(QtMessageBoxes, PendingEventsAreProcessedWhenAsked) {
    bool delivered = false;
    QTimer::singleShot(0, [&delivered] { delivered = true; });
    installed_user_interface()->process_pending_messages();
    EXPECT_TRUE(delivered);
}

TEST(QtFonts, TheWindowFontIsTheToolkitsGeneralFont) {
    install_os_util_platform();
    install_qt_user_interface(nullptr);
    char name[FONT_NAME_SIZE] = {};
    default_font_name(name, sizeof name);
    EXPECT_EQ(QString::fromUtf8(name), QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    EXPECT_NE(installed_util_platform().files, nullptr);  // only the font source was replaced
    install_user_interface(nullptr);
    install_util_platform(UtilPlatform{});
    forget_default_font_name();
}

TEST(DialogFilter, BarFiltersBecomeQtFilters) {
    EXPECT_EQ(qt_file_filter("KORVEL firmware file(*.bin)|*.bin"), "KORVEL firmware file(*.bin)");
    EXPECT_EQ(qt_file_filter("KORVEL Bin File|*.bin"), "KORVEL Bin File (*.bin)");
    EXPECT_EQ(qt_file_filter("Images|*.bin;*.img|All|*.*"), "Images (*.bin *.img);;All (*.*)");
    EXPECT_EQ(qt_file_filter(""), "");
    EXPECT_EQ(qt_file_filter(nullptr), "");
}

}  // namespace
}  // namespace korvel
