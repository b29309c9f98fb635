// korvel-update's command line over the simulated bus (korvel-sim ... -- OPTIONS): its listing,
// the dry check, the scripted update and the terminal question, read from what it prints, its
// exit code and the journal of the commands the bridges received.
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include "harness_support.h"

namespace korvel::harness {

namespace {

// Every write command of the buffer family: none may reach a bridge unless an update was
// confirmed.
std::size_t write_commands(const SimRun& run) { return run.scsi("3b").size(); }

// The journal's commands and holds, in order: what the bridges and the system saw.
std::vector<QByteArray> commands_and_holds(const SimRun& run) {
    std::vector<QByteArray> seen;
    for (std::size_t i = 0; i < run.events.size(); ++i) {
        const QString kind = run.events[i].value(QStringLiteral("event")).toString();
        if (kind == QLatin1String("scsi") || kind == QLatin1String("write_span")) {
            seen.push_back(run.lines[i]);
        }
    }
    return seen;
}

class CommandLineTest : public HarnessTest {
protected:
    void SetUp() override {
        HarnessTest::SetUp();
        ASSERT_TRUE(QFile::copy(case_file(QStringLiteral("bus-pv30.json")),
                                scratch_path("bus.json")));
    }
    // korvel-update's command line over bus.json, journalled.
    SimRun run_command(const QStringList& options) {
        return run_program(QStringList{QStringLiteral("--bus"), QStringLiteral("bus.json"),
                                       QStringLiteral("--journal"), QStringLiteral("journal.jsonl"),
                                       QStringLiteral("--")} +
                           options);
    }
};

}  // namespace

TEST_F(CommandLineTest, ListGivesEveryBridgeTheWindowOffersAndNoOtherDevice) {
    const SimRun run = run_command({QStringLiteral("--list"), QStringLiteral("--json")});
    ASSERT_EQ(run.exit_code, 0) << run.errors.toStdString();
    const QJsonArray bridges = QJsonDocument::fromJson(run.output.toUtf8()).array();
    ASSERT_EQ(bridges.size(), 2) << run.output.toStdString();
    const QJsonObject pv30 = bridges[0].toObject();
    EXPECT_EQ(pv30.value(QStringLiteral("host")).toInt(), 0);
    EXPECT_EQ(pv30.value(QStringLiteral("adapter")).toString(), QStringLiteral("Symmpi"));
    EXPECT_EQ(pv30.value(QStringLiteral("target")).toInt(), 3);
    EXPECT_EQ(pv30.value(QStringLiteral("family_code")).toInt(), 5);
    EXPECT_EQ(pv30.value(QStringLiteral("family")).toString(), QStringLiteral("PV30"));
    EXPECT_EQ(pv30.value(QStringLiteral("model")).toString(), QString::fromLatin1(PV30_MODEL));
    EXPECT_TRUE(pv30.value(QStringLiteral("update_offered")).toBool());
    const QJsonObject pv20 = bridges[1].toObject();
    EXPECT_EQ(pv20.value(QStringLiteral("host")).toInt(), 1);
    EXPECT_EQ(pv20.value(QStringLiteral("adapter")).toString(), QStringLiteral("aic78xx"));
    EXPECT_EQ(pv20.value(QStringLiteral("target")).toInt(), 5);
    EXPECT_EQ(write_commands(run), 0u);

    const SimRun plain = run_command({QStringLiteral("--list")});
    EXPECT_EQ(plain.exit_code, 0);
    EXPECT_EQ(plain.output.count(u'\n'), 3) << plain.output.toStdString();  // heading, 2 bridges
}

TEST_F(CommandLineTest, CheckRunsEveryCheckAndSendsNoWriteWhateverTheFile) {
    const SimRun sound = run_command({QStringLiteral("--check"), QString::fromLatin1(SOUND_FILE),
                                      QStringLiteral("--target"), QStringLiteral("0:3")});
    EXPECT_EQ(sound.exit_code, 0) << sound.errors.toStdString();
    EXPECT_TRUE(sound.output.contains(QStringLiteral("sound firmware"))) << sound.output.toStdString();

    const SimRun damaged = run_command({QStringLiteral("--check"),
                                        QString::fromLatin1(DAMAGED_FILE), QStringLiteral("--target"),
                                        QStringLiteral("0:3"), QStringLiteral("--json")});
    EXPECT_EQ(damaged.exit_code, 1);
    const QJsonObject verdict = QJsonDocument::fromJson(damaged.output.toUtf8()).object();
    EXPECT_EQ(verdict.value(QStringLiteral("verdict")).toString(), QStringLiteral("damaged"))
        << damaged.output.toStdString();
    EXPECT_TRUE(damaged.errors.contains(QStringLiteral("The KORVEL firmware is bad.")));

    // A folder is no firmware file: refused before anything reaches the bridge.
    const SimRun folder = run_command({QStringLiteral("--check"), QStringLiteral("."),
                                       QStringLiteral("--target"), QStringLiteral("0:3")});
    EXPECT_EQ(folder.exit_code, 1);
    for (const SimRun* run : {&sound, &damaged, &folder}) {
        EXPECT_EQ(write_commands(*run), 0u);
        EXPECT_TRUE(run->of("write_span").empty());
    }
}

TEST_F(CommandLineTest, UpdateWithYesSendsTheWindowsCommandsAndHoldsInTheSameOrder) {
    const SimRun terminal = run_command({QStringLiteral("--update"), QString::fromLatin1(SOUND_FILE),
                                         QStringLiteral("--target"), QStringLiteral("0:3"),
                                         QStringLiteral("--yes")});
    ASSERT_EQ(terminal.exit_code, 0) << terminal.errors.toStdString();
    EXPECT_TRUE(terminal.output.contains(QStringLiteral("Update KORVEL firmware successfully !")));
    EXPECT_TRUE(terminal.output.contains(QStringLiteral("You must re-boot the system")));
    ASSERT_GT(write_commands(terminal), 0u);

    // The window, on the same bus and file: the update of the bridge it selects at start.
    const SimRun window = run_case("bus-pv30.json", "update-left-open.json");
    ASSERT_EQ(window.exit_code, 0);
    EXPECT_EQ(commands_and_holds(terminal), commands_and_holds(window));
}

TEST_F(CommandLineTest, NoWriteWithoutAYesFromTheTerminalOrFromTheCommandLine) {
    const QStringList update{QStringLiteral("--bus"), QStringLiteral("bus.json"),
                             QStringLiteral("--journal"), QStringLiteral("journal.jsonl"),
                             QStringLiteral("--"), QStringLiteral("--update"),
                             QString::fromLatin1(SOUND_FILE), QStringLiteral("--target"),
                             QStringLiteral("0:3")};
    const SimRun declined = run_on_terminal(update, "n\n");
    EXPECT_EQ(declined.exit_code, 1) << declined.output.toStdString();
    EXPECT_TRUE(declined.output.contains(QStringLiteral("Are you sure to update firmware ? [y/N]")));
    const SimRun just_enter = run_on_terminal(update, "\n");
    EXPECT_EQ(just_enter.exit_code, 1);
    // Without a terminal (a pipe here) there is nobody to ask.
    const SimRun no_terminal = run_program(update);
    EXPECT_EQ(no_terminal.exit_code, 1);
    EXPECT_TRUE(no_terminal.errors.contains(QStringLiteral("no terminal")));
    for (const SimRun* run : {&declined, &just_enter, &no_terminal}) {
        EXPECT_EQ(write_commands(*run), 0u);
        EXPECT_TRUE(run->of("write_span").empty());
    }

    const SimRun confirmed = run_on_terminal(update, "y\n");
    EXPECT_EQ(confirmed.exit_code, 0) << confirmed.output.toStdString();
    EXPECT_GT(write_commands(confirmed), 0u);
}

TEST_F(CommandLineTest, ExitCodesTellUsageNoBridgeAndNoStartApart) {
    EXPECT_EQ(run_command({QStringLiteral("--update"), QString::fromLatin1(SOUND_FILE)}).exit_code, 2);
    // The ordinary disk at target 0 is no bridge.
    const SimRun disk = run_command({QStringLiteral("--update"), QString::fromLatin1(SOUND_FILE),
                                     QStringLiteral("--target"), QStringLiteral("0:0"),
                                     QStringLiteral("--yes")});
    EXPECT_EQ(disk.exit_code, 1);
    EXPECT_EQ(write_commands(disk), 0u);

    ASSERT_TRUE(QFile::remove(scratch_path("bus.json")));
    ASSERT_TRUE(QFile::copy(case_file(QStringLiteral("bus-no-adapters.json")),
                            scratch_path("bus.json")));
    const SimRun no_start = run_command({QStringLiteral("--list")});
    EXPECT_EQ(no_start.exit_code, 3);
    EXPECT_TRUE(no_start.errors.contains(QStringLiteral("ASPI"))) << no_start.errors.toStdString();
}

TEST_F(CommandLineTest, NeitherCtrlCNorAHangUpNorTerminateCutsTheWriteShort) {
    // The demo bus's PV70 copier takes 16 writes of 300 ms each.
    ASSERT_EQ(run_program({QStringLiteral("--samples"), QStringLiteral("samples")}).exit_code, 0);
    QProcess update;
    update.setWorkingDirectory(scratch_.path());
    update.start(QStringLiteral(KORVEL_SIM_PROGRAM),
                 {QStringLiteral("--"), QStringLiteral("--update"),
                  QStringLiteral("samples/PV70-QMV2-A1.bin"), QStringLiteral("--target"),
                  QStringLiteral("0:4"), QStringLiteral("--yes")});
    ASSERT_TRUE(update.waitForStarted());
    update.setReadChannel(QProcess::StandardError);
    QByteArray errors;
    // Into the write: its first steps are on standard error.
    while (!errors.contains("Writing 2 of 16") && update.waitForReadyRead(10000)) {
        errors += update.readAllStandardError();
    }
    ASSERT_TRUE(errors.contains("Writing 2 of 16")) << errors.toStdString();
    const QString pid = QString::number(update.processId());
    // The shell's own kill: procps's is not on every system.
    QProcess::execute(QStringLiteral("/bin/sh"),
                      {QStringLiteral("-c"), QStringLiteral("for s in INT HUP TERM QUIT; do "
                                                            "kill -$s %1; done")
                                                 .arg(pid)});
    ASSERT_TRUE(update.waitForFinished(30000));
    errors += update.readAllStandardError();
    EXPECT_EQ(update.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(update.exitCode(), 0) << errors.toStdString();
    EXPECT_TRUE(errors.contains("it cannot be interrupted")) << errors.toStdString();
    EXPECT_TRUE(update.readAllStandardOutput().contains("successfully"));
}

}  // namespace korvel::harness
