// The update command from the click to the last message, over the demo bus and its sample
// files: what is written, what is shown, and that the window is locked while it runs and
// unlocked on every way out.
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTimer>
#include <QPushButton>
#include <QToolButton>

#include <cstdio>

#include "gui_test_support.h"
#include "korvel_msg.h"
#include "korvel_progress_text.h"
#include "lib_global.h"

namespace korvel::gui_test {
namespace {

constexpr std::uint8_t OP_WRITE_BUFFER = 0x3B;
constexpr std::uint8_t OP_READ_SUB_CHANNEL = 0x42;

class UpdateRoad : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        use_demo_bus();
        start();
        for (const DemoDevice& device : demo.devices) device.device->clear_journal();
    }

    const DemoDevice& demo_bridge(std::int32_t family_code) const {
        for (const DemoDevice& device : demo.devices) {
            if (device.family_code == family_code && device.host == 0) return device;
        }
        throw std::logic_error("no such demo bridge");
    }

    /// Whether the window is back to normal: unlocked, the update offered as the selection
    /// allows, the ordinary cursor.
    void expect_unlocked(bool update_offered = true) const {
        EXPECT_FALSE(form->form().update_running());
        EXPECT_TRUE(control("GroupBox_Host")->isEnabled());
        EXPECT_TRUE(control("GroupBox_Target")->isEnabled());
        EXPECT_TRUE(control("BTN_Exit")->isEnabled());
        EXPECT_EQ(control("BTN_UpdateKORVEL")->isEnabled(), update_offered);
        EXPECT_EQ(control("BTN_BackupKORVEL")->isEnabled(), update_offered);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }

    /// The file handle open_file gives next; 1 when no file was left open.
    static int next_free_handle(const QString& path) {
        const int handle = open_file(path.toLocal8Bit().constData(), OPEN_READ | SHARE_DENY_NONE);
        file_close(handle);
        return handle;
    }
};

TEST_F(UpdateRoad, AConfirmedWriteIsReportedRecordedAndFollowedByTheSubChannelCommand) {
    const DemoDevice& pv30 = demo_bridge(FAMILY_PV30);
    select_family(FAMILY_PV30);
    pv30.device->clear_journal();
    control("BTN_UpdateKORVEL")->setFocus();
    update_with(sample(pv30.sample_file), {ID_YES});

    EXPECT_EQ(dialogs, 1);
    ASSERT_EQ(person.texts(), (std::vector<std::string>{message_text(MSG_CONFIRM_UPDATE),
                                                        message_text(MSG_UPDATE_SUCCEEDED)}));
    // While the question was up the whole window was locked under the busy cursor.
    const ShownBox& question = person.boxes[0];
    EXPECT_FALSE(question.host_group_enabled);
    EXPECT_FALSE(question.target_group_enabled);
    EXPECT_FALSE(question.exit_enabled);
    EXPECT_FALSE(question.update_enabled);
    EXPECT_TRUE(question.update_running);
    EXPECT_TRUE(question.busy_cursor);
    // Under the success message the full bar's line says the write is done, not its last step.
    EXPECT_EQ(person.boxes[1].progress_line, progress_done_text());

    EXPECT_TRUE(form->form().firmware_written());
    EXPECT_FALSE(pv30.bridge->written_buffers().empty());
    const auto commands = cdbs(*pv30.device);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back()[0], OP_READ_SUB_CHANNEL);
    expect_unlocked();
    // The list is not rescanned: the same bridge stays selected.
    EXPECT_EQ(form->form().selection().family_code, FAMILY_PV30);
    // The lock disabled the update button under the keyboard; the keyboard is back on it.
    EXPECT_EQ(form->focusWidget(), control("BTN_UpdateKORVEL"));
}

TEST_F(UpdateRoad, EveryDemoBridgeTakesItsOwnSampleFile) {
    for (const DemoDevice& device : demo.devices) {
        if (device.bridge == nullptr || device.family_code == FAMILY_PV20_QTWD) continue;
        SCOPED_TRACE("family " + std::to_string(device.family_code));
        host_button(device.host)->click();
        select_family(device.family_code);
        person.boxes.clear();
        update_with(sample(device.sample_file), {ID_YES});
        EXPECT_EQ(person.texts(), (std::vector<std::string>{message_text(MSG_CONFIRM_UPDATE),
                                                            message_text(MSG_UPDATE_SUCCEEDED)}));
        EXPECT_FALSE(device.bridge->written_buffers().empty());
        expect_unlocked();
    }
}

TEST_F(UpdateRoad, CancellingTheDialogDoesNothing) {
    select_family(FAMILY_PV40);
    update_with(QString());
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(person.boxes.empty());
    EXPECT_FALSE(form->form().firmware_written());
    EXPECT_TRUE(demo_bridge(FAMILY_PV40).device->journal().empty());
    expect_unlocked();
}

TEST_F(UpdateRoad, AFileThatCannotBeOpenedEndsQuietly) {
    select_family(FAMILY_PV40);
    update_with(sample("no-such-file.bin"));
    update_with(QString::fromStdString(folder.string()));  // a folder, not a file
    EXPECT_EQ(dialogs, 2);
    EXPECT_TRUE(person.boxes.empty());
    EXPECT_TRUE(demo_bridge(FAMILY_PV40).device->journal().empty());
    expect_unlocked();
}

TEST_F(UpdateRoad, DecliningWritesNothingAndSendsNothingAfterwards) {
    const DemoDevice& pv50 = demo_bridge(FAMILY_PV50);
    select_family(FAMILY_PV50);
    pv50.device->clear_journal();
    update_with(sample(pv50.sample_file), {ID_NO});
    EXPECT_EQ(person.texts(), std::vector<std::string>{message_text(MSG_CONFIRM_UPDATE)});
    EXPECT_FALSE(form->form().firmware_written());
    EXPECT_TRUE(pv50.bridge->written_buffers().empty());
    EXPECT_FALSE(received(*pv50.device, OP_WRITE_BUFFER));
    EXPECT_FALSE(received(*pv50.device, OP_READ_SUB_CHANNEL));
    expect_unlocked();
    // Closing now shows no reminder.
    form->close();
    EXPECT_EQ(person.boxes.size(), 1u);
}

TEST_F(UpdateRoad, DamagedAndForeignFilesAreRejectedBeforeAnyWrite) {
    const DemoDevice& pv30 = demo_bridge(FAMILY_PV30);
    select_family(FAMILY_PV30);
    pv30.device->clear_journal();
    update_with(sample(DEMO_DAMAGED_FILE), {ID_YES});
    update_with(sample(DEMO_FOREIGN_FILE), {ID_YES});
    ASSERT_EQ(person.texts(), (std::vector<std::string>{message_text(MSG_BAD_FIRMWARE),
                                                        message_text(MSG_WRONG_FIRMWARE_FILE)}));
    for (const ShownBox& box : person.boxes) {
        EXPECT_EQ(box.caption, message_text(MSG_CAPTION_ERROR));
        EXPECT_EQ(box.flags, MB_ICON_STOP_OK);
    }
    EXPECT_TRUE(pv30.device->journal().empty());
    EXPECT_FALSE(form->form().firmware_written());
    expect_unlocked();
    EXPECT_EQ(next_free_handle(sample(DEMO_DAMAGED_FILE)), 1);
}

TEST_F(UpdateRoad, ABridgeWithoutAModuleIsRefusedAndItsFileClosed) {
    select_family(FAMILY_PV20_QTWD);
    EXPECT_FALSE(control("BTN_UpdateKORVEL")->isEnabled());
    // The button cannot be pressed; called directly, the command still writes nothing.
    update_with(sample(demo_bridge(FAMILY_PV20_QTWD).sample_file));
    EXPECT_EQ(dialogs, 0);
    form->form().BTN_UpdateKORVELClick();
    EXPECT_EQ(dialogs, 1);
    ASSERT_EQ(person.boxes.size(), 1u);
    EXPECT_EQ(person.boxes[0].text, "Unknown device !");
    EXPECT_EQ(person.boxes[0].caption, message_text(MSG_CAPTION_ERROR));
    EXPECT_EQ(person.boxes[0].flags, MB_ICON_STOP_OK);
    EXPECT_TRUE(demo_bridge(FAMILY_PV20_QTWD).bridge->written_buffers().empty());
    EXPECT_EQ(next_free_handle(chosen_file), 1);
    expect_unlocked(false);
}

TEST_F(UpdateRoad, ClosingIsRefusedWhileAnUpdateRunsAndAllowedAfterwards) {
    const DemoDevice& pv40 = demo_bridge(FAMILY_PV40);
    select_family(FAMILY_PV40);
    std::vector<bool> close_results;
    std::vector<bool> event_accepted;
    person.while_box_up = [&] {
        close_results.push_back(form->close());
        QCloseEvent event;
        QCoreApplication::sendEvent(form.get(), &event);
        event_accepted.push_back(event.isAccepted());
        // A second update command while one runs does not start.
        form->form().BTN_UpdateKORVELClick();
    };
    update_with(sample(pv40.sample_file), {ID_YES});
    person.while_box_up = nullptr;
    ASSERT_EQ(close_results.size(), 2u);  // the question and the success message
    EXPECT_EQ(close_results, (std::vector<bool>{false, false}));
    EXPECT_EQ(event_accepted, (std::vector<bool>{false, false}));
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(form->form().closed());
    EXPECT_TRUE(form->isVisible());
    expect_unlocked();

    EXPECT_TRUE(form->close());
    EXPECT_TRUE(form->form().closed());
}

TEST_F(UpdateRoad, TheRebootReminderIsShownOnceAfterWritesAndADecline) {
    const DemoDevice& pv30 = demo_bridge(FAMILY_PV30);
    const DemoDevice& pv40 = demo_bridge(FAMILY_PV40);
    select_family(FAMILY_PV30);
    update_with(sample(pv30.sample_file), {ID_YES});
    select_family(FAMILY_PV40);
    update_with(sample(pv40.sample_file), {ID_YES});
    update_with(sample(pv40.sample_file), {ID_NO});
    person.boxes.clear();
    form->findChild<QPushButton*>("BTN_Exit")->click();
    form->close();
    ASSERT_EQ(person.boxes.size(), 1u);
    EXPECT_EQ(person.boxes[0].text, message_text(MSG_REBOOT_REMINDER));
    EXPECT_EQ(person.boxes[0].caption, message_text(MSG_CAPTION_INFORMATION));
    EXPECT_EQ(person.boxes[0].flags, MB_ICON_INFORMATION_OK);
}

TEST_F(UpdateRoad, AFailedWriteStillCountsAsWritten) {
    const DemoDevice& pv30 = demo_bridge(FAMILY_PV30);
    select_family(FAMILY_PV30);
    pv30.device->inject_check_condition(SIM_ALWAYS, fixed_sense(SIM_SENSE_HARDWARE_ERROR, 0x44, 0),
                                        {OP_WRITE_BUFFER});
    update_with(sample(pv30.sample_file), {ID_YES});
    EXPECT_EQ(person.texts(), (std::vector<std::string>{message_text(MSG_CONFIRM_UPDATE),
                                                        message_text(MSG_UPDATE_FAILED)}));
    EXPECT_TRUE(form->form().firmware_written());
    EXPECT_TRUE(received(*pv30.device, OP_READ_SUB_CHANNEL));
    expect_unlocked();
}

// A 10 ms timer keeps ticking through every write of bridges that take 800 ms per write: the
// window is never frozen while it flashes (a frozen one would show gaps of a whole write). Its
// progress bar meanwhile only goes forward, reaches the end, and is gone afterwards.
TEST_F(UpdateRoad, ResponsiveThroughSlowWritesOfPv70AndPv20) {
    constexpr int WRITE_MS = 800;
    constexpr qint64 GAP_BOUND_MS = 300;
    auto* bar = qobject_cast<QProgressBar*>(control("Progress_Update"));
    ASSERT_NE(bar, nullptr);
    for (const std::int32_t family : {FAMILY_PV70, FAMILY_PV20_QTRL}) {
        const DemoDevice& bridge = demo_bridge(family);
        bridge.device->add_answer_time({OP_WRITE_BUFFER}, WRITE_MS);
        select_family(family);
        QElapsedTimer clock;
        qint64 last_tick = 0;
        qint64 longest_gap = 0;
        std::vector<int> shown_values;
        const auto look = [&] {
            if (bar->isVisibleTo(form.get()) &&
                (shown_values.empty() || shown_values.back() != bar->value())) {
                shown_values.push_back(bar->value());
            }
        };
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longest_gap = std::max(longest_gap, now - last_tick);
            last_tick = now;
            look();
        });
        person.while_box_up = look;
        clock.start();
        ticker.start(10);
        update_with(sample(bridge.sample_file), {ID_YES});
        ticker.stop();
        person.while_box_up = nullptr;
        std::printf("family %d: update %lld ms, longest gap between ticks %lld ms\n",
                    static_cast<int>(family), static_cast<long long>(clock.elapsed()),
                    static_cast<long long>(longest_gap));
        EXPECT_GE(clock.elapsed(), WRITE_MS) << family;
        EXPECT_LT(longest_gap, GAP_BOUND_MS) << family;
        EXPECT_TRUE(form->form().firmware_written()) << family;
        EXPECT_TRUE(std::is_sorted(shown_values.begin(), shown_values.end())) << family;
        ASSERT_FALSE(shown_values.empty()) << family;
        EXPECT_EQ(shown_values.back(), 100) << family;
        EXPECT_GT(shown_values.size(), family == FAMILY_PV70 ? 16u : 1u) << family;
        EXPECT_FALSE(bar->isVisibleTo(form.get())) << family;
    }
}

}  // namespace
}  // namespace korvel::gui_test
