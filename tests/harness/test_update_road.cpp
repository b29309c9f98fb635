// The update command from a script: the file picked in the dialog, the confirmation, the
// buffer commands that reach the bridge, the outcome and the reminder at close, all read from
// the journal of a korvel-sim run.
#include <QJsonArray>

#include "harness_support.h"

namespace korvel::harness {

namespace {

const QString CONFIRM = QStringLiteral("Are you sure to update firmware ?");
const QString SUCCEEDED = QStringLiteral("Update KORVEL firmware successfully !");
const QString FAILED = QStringLiteral("Update KORVEL firmware failed !");
const QString BAD_FIRMWARE = QStringLiteral("The KORVEL firmware is bad.\n\nUpdate aborted !");
const QString REMINDER = QStringLiteral(
    "The KORVEL firmware has been updated.\n\nYou must re-boot the system to activate it !");

// WRITE BUFFER / READ BUFFER of the PV30 firmware buffer (mode 0x17, buffer 0x78), and the
// LSI preamble (buffer 0x71, no data).
const char* const WRITE_FIRMWARE = "3b1778";
const char* const READ_FIRMWARE = "3c1778";
const char* const PREAMBLE = "3b1771";
const char* const ANY_WRITE_BUFFER = "3b";
const char* const SUB_CHANNEL = "42";

std::vector<QString> texts(const SimRun& run) {
    std::vector<QString> all;
    for (const auto& [index, message] : run.messages()) {
        all.push_back(message.value(QStringLiteral("text")).toString());
    }
    return all;
}

bool at_bridge(const QJsonObject& command) {
    return command.value(QStringLiteral("host")).toInt() == 0 &&
           command.value(QStringLiteral("target")).toInt() == 3 &&
           command.value(QStringLiteral("lun")).toInt() == 0;
}

std::uint32_t be24(const std::vector<std::uint8_t>& cdb, std::size_t at) {
    return static_cast<std::uint32_t>(cdb[at]) << 16 | static_cast<std::uint32_t>(cdb[at + 1]) << 8 |
           cdb[at + 2];
}

// The last "controls" event of a step: the one written after it.
QJsonObject controls_after(const SimRun& run, int step) {
    QJsonObject last;
    const std::size_t from = run.step_at(step);
    const std::size_t to = std::min(run.step_at(step + 1), run.events.size());
    for (std::size_t i = from; i < to; ++i) {
        if (run.events[i].value(QStringLiteral("event")).toString() == QLatin1String("controls")) {
            last = run.events[i];
        }
    }
    return last;
}

}  // namespace

TEST_F(HarnessTest, ConfirmedUpdateWritesTheFileReportsSuccessAndRemindsAtClose) {
    const SimRun run = run_case("bus-pv30.json", "update-confirmed.json");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    ASSERT_EQ(run.of("step").size(), 4u);

    // Confirmation (Yes), success, then at the close step the reminder, each acknowledged.
    const auto messages = run.messages();
    ASSERT_EQ(texts(run), (std::vector<QString>{CONFIRM, SUCCEEDED, REMINDER}));
    const QJsonObject& confirm = messages[0].second;
    EXPECT_EQ(confirm.value(QStringLiteral("caption")).toString(), QStringLiteral("Question"));
    EXPECT_EQ(confirm.value(QStringLiteral("flags")).toInt(), 0x124);
    EXPECT_EQ(confirm.value(QStringLiteral("answer")).toInt(), 6);
    EXPECT_EQ(messages[1].second.value(QStringLiteral("caption")).toString(),
              QStringLiteral("Information"));
    EXPECT_EQ(messages[1].second.value(QStringLiteral("flags")).toInt(), 0x40);
    EXPECT_EQ(messages[1].second.value(QStringLiteral("answer")).toInt(), 1);
    EXPECT_GT(messages[0].first, run.step_at(2));
    EXPECT_LT(messages[1].first, run.step_at(3));
    EXPECT_GT(messages[2].first, run.step_at(3));

    // The firmware buffer receives the file's bytes: every WRITE BUFFER carries the part of the
    // file its offset and length name, and together they cover the whole file once.
    const QByteArray file = scratch_bytes(SOUND_FILE);
    ASSERT_EQ(file.size(), 0x4000);
    const auto writes = run.scsi(WRITE_FIRMWARE);
    ASSERT_FALSE(writes.empty());
    std::uint32_t covered = 0;
    for (const auto& [index, command] : writes) {
        EXPECT_TRUE(at_bridge(command));
        EXPECT_GT(index, messages[0].first) << "written before the confirmation";
        EXPECT_LT(index, messages[1].first) << "written after the outcome was shown";
        const auto cdb = from_hex(command.value(QStringLiteral("cdb")).toString());
        ASSERT_EQ(cdb.size(), 10u);
        const std::uint32_t offset = be24(cdb, 3);
        const std::uint32_t length = be24(cdb, 6);
        EXPECT_EQ(offset, covered);
        EXPECT_EQ(command.value(QStringLiteral("dir")).toString(), QStringLiteral("out"));
        EXPECT_EQ(command.value(QStringLiteral("length")).toInt(), static_cast<int>(length));
        EXPECT_EQ(command.value(QStringLiteral("status")).toInt(), 0);
        ASSERT_LE(offset + length, static_cast<std::uint32_t>(file.size()));
        EXPECT_EQ(command.value(QStringLiteral("sha256")).toString(),
                  sha256_of(file.mid(offset, length)));
        covered += length;
    }
    EXPECT_EQ(covered, static_cast<std::uint32_t>(file.size()));

    // On an LSI adapter the preamble comes first; the write is read back.
    const auto preamble = run.scsi(PREAMBLE);
    ASSERT_FALSE(preamble.empty());
    EXPECT_LT(preamble.front().first, writes.front().first);
    EXPECT_EQ(preamble.front().second.value(QStringLiteral("dir")).toString(), QStringLiteral("none"));
    EXPECT_FALSE(preamble.front().second.contains(QStringLiteral("sha256")));
    const auto reads = run.scsi(READ_FIRMWARE);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_GT(reads.front().first, writes.back().first);
    EXPECT_EQ(reads.front().second.value(QStringLiteral("dir")).toString(), QStringLiteral("in"));
    EXPECT_FALSE(reads.front().second.contains(QStringLiteral("sha256")));

    // After the outcome, the command to the bridge that follows a write, within the step.
    const auto after = run.scsi(SUB_CHANNEL);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_TRUE(at_bridge(after.front().second));
    EXPECT_GT(after.front().first, messages[1].first);
    EXPECT_LT(after.front().first, run.step_at(3));

    // Sleep and shut-down are held off from the Yes to the command after the write.
    const auto span = run.indexes("write_span");
    ASSERT_EQ(span.size(), 2u);
    EXPECT_TRUE(run.events[span[0]].value(QStringLiteral("held")).toBool());
    EXPECT_FALSE(run.events[span[1]].value(QStringLiteral("held")).toBool());
    EXPECT_GT(span[0], messages[0].first);
    EXPECT_LT(span[0], preamble.front().first);
    EXPECT_GT(span[1], after.front().first);
    EXPECT_LT(span[1], run.step_at(3));

    // Locked while the boxes are up, unlocked after the step.
    EXPECT_EQ(control_state(confirm.value(QStringLiteral("controls")).toObject()), ALL_LOCKED);
    EXPECT_EQ(control_state(messages[1].second.value(QStringLiteral("controls")).toObject()),
              ALL_LOCKED);
    EXPECT_EQ(control_state(controls_after(run, 2)), ALL_ENABLED);
}

TEST_F(HarnessTest, DeclinedUpdateSendsNoBufferCommandAndNoReminder) {
    const SimRun run = run_case("bus-pv30.json", "update-declined.json");
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    ASSERT_EQ(texts(run), std::vector<QString>{CONFIRM});
    EXPECT_EQ(run.messages()[0].second.value(QStringLiteral("answer")).toInt(), 7);
    EXPECT_TRUE(run.scsi(ANY_WRITE_BUFFER).empty());
    EXPECT_TRUE(run.scsi(READ_FIRMWARE).empty());
    EXPECT_TRUE(run.scsi(SUB_CHANNEL).empty());
    EXPECT_TRUE(run.of("write_span").empty());
    EXPECT_EQ(control_state(controls_after(run, 1)), ALL_ENABLED);
}

TEST_F(HarnessTest, DamagedFileIsRejectedBeforeAnyQuestion) {
    const SimRun run = run_case("bus-pv30.json", "update-damaged.json");
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    ASSERT_EQ(texts(run), std::vector<QString>{BAD_FIRMWARE});
    const QJsonObject rejected = run.messages()[0].second;
    EXPECT_EQ(rejected.value(QStringLiteral("caption")).toString(), QStringLiteral("Error"));
    EXPECT_EQ(rejected.value(QStringLiteral("flags")).toInt(), 0x10);
    EXPECT_EQ(control_state(rejected.value(QStringLiteral("controls")).toObject()), ALL_LOCKED);
    EXPECT_TRUE(run.scsi(ANY_WRITE_BUFFER).empty());
    EXPECT_TRUE(run.scsi(SUB_CHANNEL).empty());
    EXPECT_TRUE(run.of("write_span").empty());
}

TEST_F(HarnessTest, CancelledDialogDoesNothingAndUnlocksTheWindow) {
    const SimRun run = run_case("bus-pv30.json", "update-cancelled.json");
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.messages().empty());
    // Not one command reaches a device during the step.
    for (const std::size_t i : run.indexes("scsi")) EXPECT_LT(i, run.step_at(0));
    EXPECT_EQ(control_state(controls_after(run, 0)), ALL_ENABLED);
}

TEST_F(HarnessTest, FileGoneAfterTheDialogIsIgnoredSilently) {
    const SimRun run = run_case("bus-pv30.json", "update-missing-file.json");
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.messages().empty());
    for (const std::size_t i : run.indexes("scsi")) EXPECT_LT(i, run.step_at(0));
    EXPECT_EQ(control_state(controls_after(run, 0)), ALL_ENABLED);
}

TEST_F(HarnessTest, OneCorruptReadBackIsRetriedAndTheUpdateSucceeds) {
    const SimRun run = run_case("bus-pv30-corrupt-reads-1.json", "update-left-open.json");
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    EXPECT_EQ(run.scsi(WRITE_FIRMWARE).size(), 2u);
    EXPECT_EQ(run.scsi(READ_FIRMWARE).size(), 2u);
    ASSERT_GE(texts(run).size(), 2u);
    EXPECT_EQ(texts(run)[1], SUCCEEDED);
}

TEST_F(HarnessTest, ReadBackThatNeverMatchesEndsInFailureAfterThreeAttempts) {
    const SimRun run = run_case("bus-pv30-corrupt-reads-3.json", "update-confirmed.json");
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    const auto writes = run.scsi(WRITE_FIRMWARE);
    const auto reads = run.scsi(READ_FIRMWARE);
    ASSERT_EQ(writes.size(), 3u);
    ASSERT_EQ(reads.size(), 3u);
    // Each attempt writes, then reads back.
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_LT(writes[i].first, reads[i].first);
        if (i > 0) {
            EXPECT_GT(writes[i].first, reads[i - 1].first);
        }
        EXPECT_EQ(writes[i].second.value(QStringLiteral("sha256")),
                  writes[0].second.value(QStringLiteral("sha256")));
    }
    // A failed write still counts as written: the command after it, and the reminder.
    EXPECT_EQ(texts(run), (std::vector<QString>{CONFIRM, FAILED, REMINDER}));
    EXPECT_EQ(run.messages()[1].second.value(QStringLiteral("flags")).toInt(), 0x10);
    EXPECT_EQ(run.scsi(SUB_CHANNEL).size(), 1u);
    // A failed write holds sleep off to its last command all the same.
    const auto span = run.indexes("write_span");
    ASSERT_EQ(span.size(), 2u);
    EXPECT_GT(span[1], run.scsi(SUB_CHANNEL).front().first);
}

TEST_F(HarnessTest, ReminderIsShownOnceAtCloseAfterAConfirmedAndADeclinedUpdate) {
    const SimRun run = run_case("bus-pv30.json", "update-twice.json");
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    ASSERT_EQ(texts(run), (std::vector<QString>{CONFIRM, SUCCEEDED, CONFIRM, REMINDER}));
    EXPECT_EQ(run.messages()[2].second.value(QStringLiteral("answer")).toInt(), 7);
    EXPECT_GT(run.messages()[3].first, run.step_at(2));
    EXPECT_LT(run.messages()[3].first, run.step_at(3));
    EXPECT_EQ(run.scsi(WRITE_FIRMWARE).size(), 1u);
    // The window is gone: pressing an adapter button or the logo afterwards does nothing.
    EXPECT_EQ(run.of("targets").size(), 1u);
    for (const std::size_t i : run.indexes("scsi")) EXPECT_LT(i, run.step_at(3));
    EXPECT_FALSE(controls_after(run, 4).value(QStringLiteral("fae_label")).toBool());
}

TEST_F(HarnessTest, WindowLeftOpenByTheScriptClosesTheOrdinaryWayWithItsReminder) {
    const SimRun run = run_case("bus-pv30.json", "update-left-open.json");
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    ASSERT_EQ(texts(run), (std::vector<QString>{CONFIRM, SUCCEEDED, REMINDER}));
    EXPECT_GT(run.messages()[2].first, run.indexes("controls").back());
}

TEST_F(HarnessTest, RescanAfterAnUpdateKeepsTheWindowWorking) {
    const SimRun run = run_case("bus-pv30.json", "update-then-rescan.json");
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    EXPECT_EQ(run.scsi(WRITE_FIRMWARE).size(), 2u);
    const auto targets = run.indexes("targets");
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_GT(targets[1], run.step_at(1));
    EXPECT_LT(targets[1], run.step_at(2));
    EXPECT_EQ(texts(run), (std::vector<QString>{CONFIRM, SUCCEEDED, CONFIRM, SUCCEEDED, REMINDER}));
}

TEST_F(HarnessTest, TraditionalChineseSystemGetsChineseTexts) {
    const SimRun run = run_case("bus-pv30-zh_TW.json", "update-confirmed.json");
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    ASSERT_EQ(texts(run), (std::vector<QString>{
                              QStringLiteral("請問您確定要更新此韌體嗎？"),
                              QStringLiteral("KORVEL 韌體已更新完成！"),
                              QStringLiteral("KORVEL 韌體已更新完成！\n\n您必需重新啟動系統才能正常運作！")}));
    EXPECT_EQ(run.messages()[0].second.value(QStringLiteral("caption")).toString(),
              QStringLiteral("詢問"));
    EXPECT_EQ(run.messages()[1].second.value(QStringLiteral("caption")).toString(),
              QStringLiteral("訊息"));
    const QJsonArray buttons =
        run.of("targets").front().value(QStringLiteral("buttons")).toArray();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0].toObject().value(QStringLiteral("caption")).toString(),
              QStringLiteral("光碟機"));
    EXPECT_TRUE(buttons[0].toObject().value(QStringLiteral("hint")).toString().contains(
        QStringLiteral("容量")));
}

}  // namespace korvel::harness
