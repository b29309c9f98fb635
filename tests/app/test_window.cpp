// The window itself: its controls, captions and hint timing, the start and close paths, the
// hidden FAE Test gesture, and exceptions that reach the message loop.
#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <stdexcept>

#include "gui_test_support.h"
#include "korvel_msg.h"
#include "korvel_program.h"
#include "korvel_runtime_flags.h"
#include "ui_seam.h"

namespace korvel::gui_test {
namespace {

using WindowControls = WindowTest;

TEST_F(WindowControls, TheFixedWindowStartsWithItsVersionAndNothingOnOffer) {
    lay_out_port(0, "aic78xx", {{1, make_bridge(FAMILY_PV30)}, {2, make_bridge(FAMILY_PV40)}});
    start();
    EXPECT_EQ(form->size(), QSize(462, 368));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->windowTitle(), "KORVEL Firmware Update");
    // The version label is centred under the logo; the test label and backup button hidden.
    const auto* version = form->findChild<QLabel*>("Label_Version");
    EXPECT_EQ(version->text(), "1.0.0.0");
    EXPECT_LE(std::abs(version->x() + version->width() / 2 - 420), 1);
    EXPECT_FALSE(control("Label_FAETest")->isVisibleTo(form.get()));
    EXPECT_FALSE(control("BTN_BackupKORVEL")->isVisibleTo(form.get()));
    EXPECT_FALSE(form->findChild<QLabel*>("Image_Main")->pixmap().isNull());
    // Hosts and targets are two radio groups of their own.
    EXPECT_TRUE(target_button(0)->isChecked());
    target_button(1)->click();
    EXPECT_FALSE(target_button(0)->isChecked());
    EXPECT_TRUE(host_button(0)->isChecked());
    EXPECT_EQ(host_button(3)->geometry(), QRect(272, 16, 85, 53));
    EXPECT_EQ(target_button(14)->geometry(), QRect(360, 128, 85, 53));
}

TEST_F(WindowControls, CaptionsComeFromTheCatalogueInTheRunsLanguage) {
    use_language(true);
    lay_out_port(0, "aic78xx", {{2, make_bridge(FAMILY_PV30)}});
    start();
    EXPECT_EQ(form->findChild<QGroupBox*>("GroupBox_Host")->title(), "介面卡");
    EXPECT_EQ(form->findChild<QGroupBox*>("GroupBox_Target")->title(), "裝置");
    EXPECT_EQ(form->findChild<QPushButton*>("BTN_Exit")->text(), "[&X]離開");
    EXPECT_EQ(form->findChild<QPushButton*>("BTN_UpdateKORVEL")->text(), "[&U]更新 KORVEL 韌體");
    EXPECT_EQ(target_button(0)->text(), "光碟機");
    EXPECT_EQ(form->open_dialog_filter(), "KORVEL 韌體檔(*.bin)");
    EXPECT_TRUE(target_button(0)->toolTip().contains("容量:[未知]"));
    // A font for these characters is installed, so they render rather than show boxes.
    EXPECT_FALSE(QFontDatabase::families(QFontDatabase::TraditionalChinese).isEmpty());
    EXPECT_FALSE(QFontDatabase::families(QFontDatabase::Japanese).isEmpty());
}

TEST_F(WindowControls, HintsShowAfterATenthOfASecondAndStayTenMinutes) {
    lay_out_port(0, "aic78xx", {{2, make_bridge(FAMILY_PV30)}});
    start();
    EXPECT_EQ(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 100);
    for (int i = 0; i < TARGET_BUTTONS; ++i) EXPECT_EQ(target_button(i)->toolTipDuration(), 600000);
}

TEST_F(WindowControls, TheHiddenGestureTogglesTheTestModeAndOrdinaryClicksDoNot) {
    lay_out_port(0, "aic78xx", {{2, make_bridge(FAMILY_PV30)}});
    start();
    QWidget* logo = control("Image_Main");
    QWidget* label = control("Label_FAETest");
    const QPoint centre(16, 16);

    QTest::mouseClick(logo, Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseClick(logo, Qt::RightButton, Qt::NoModifier, centre);
    QTest::mouseClick(logo, Qt::RightButton, Qt::ControlModifier, centre);
    QTest::mouseClick(logo, Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier, centre);
    QTest::mouseClick(logo, Qt::RightButton,
                      Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier, centre);
    EXPECT_FALSE(fae_test_mode());
    EXPECT_FALSE(label->isVisibleTo(form.get()));

    QTest::mouseClick(logo, Qt::RightButton, Qt::ControlModifier | Qt::ShiftModifier, centre);
    EXPECT_TRUE(fae_test_mode());
    EXPECT_TRUE(label->isVisibleTo(form.get()));
    // A quick second press arrives as a double click and still counts.
    QTest::mouseDClick(logo, Qt::RightButton, Qt::ControlModifier | Qt::ShiftModifier, centre);
    EXPECT_FALSE(fae_test_mode());
    EXPECT_FALSE(label->isVisibleTo(form.get()));
}

using StartAndClose = WindowTest;

TEST_F(StartAndClose, NoAdapterShowsMessageSixAndClosesTheWindow) {
    start();
    ASSERT_EQ(person.boxes.size(), 1u);
    EXPECT_EQ(person.boxes[0].text, message_text(MSG_ASPI_START_FAILED));
    EXPECT_EQ(person.boxes[0].caption, message_text(MSG_CAPTION_ERROR));
    EXPECT_EQ(person.boxes[0].flags, MB_ICON_STOP_OK);
    EXPECT_TRUE(form->form().start_failed());
    EXPECT_TRUE(form->form().closed());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(StartAndClose, ClosingWithoutAWriteShowsNothingAndStopsTheService) {
    lay_out_port(0, "aic78xx", {{2, make_bridge(FAMILY_PV30)}});
    start();
    EXPECT_TRUE(form->form().service_started());
    EXPECT_GT(sim.nt.open_handles(), 0u);
    form->findChild<QPushButton*>("BTN_Exit")->click();
    EXPECT_TRUE(form->form().closed());
    EXPECT_TRUE(person.boxes.empty());
    EXPECT_EQ(sim.nt.open_handles(), 0u);  // the service let go of every device
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(StartAndClose, EscapePressesTheExitButton) {
    lay_out_port(0, "aic78xx", {{2, make_bridge(FAMILY_PV30)}});
    start();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_TRUE(form->form().closed());
}

TEST(MessageLoop, AnExceptionIsShownAndTheLoopEndsWithAFailureCode) {
    ScriptedPerson person;
    install_user_interface(&person);
    QTimer::singleShot(0, [] { throw std::runtime_error("simulated fault in a handler"); });
    // Should the loop not end, this ends it with success, which the test then catches.
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] { QCoreApplication::exit(0); });
    fallback.start(5000);
    const int code = QApplication::exec();
    fallback.stop();
    install_user_interface(nullptr);
    EXPECT_NE(code, 0);
    ASSERT_EQ(person.boxes.size(), 1u);
    EXPECT_EQ(person.boxes[0].text, "simulated fault in a handler");
    EXPECT_EQ(person.boxes[0].caption, "KORVEL Firmware Update");
    EXPECT_EQ(person.boxes[0].flags, MB_ICON_STOP_OK);
    EXPECT_TRUE(static_cast<KorvelApplication*>(QCoreApplication::instance())->exception_seen());
}

}  // namespace
}  // namespace korvel::gui_test
