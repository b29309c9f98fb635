// Bad input to korvel-sim: every malformed bus or script file, every input or journal that is
// not a regular file and every command line it cannot follow ends the program at once with one
// line on stderr naming the file and the place of the problem, exit code 2, no journal and no
// window. A journal that cannot be written to the end gives exit code 3.
#include <QFile>
#include <QProcess>

#include "harness_support.h"

namespace korvel::harness {

namespace {

struct BadFile {
    const char* file;       ///< under cases/malformed/
    bool is_bus;            ///< a bus file (else a script)
    const char* expected;   ///< a part of the message
};

void PrintTo(const BadFile& bad, std::ostream* out) { *out << bad.file; }

class MalformedInputTest : public HarnessTest, public ::testing::WithParamInterface<BadFile> {};

const BadFile BAD_FILES[] = {
    {"bus-not-json.json", true, "not valid JSON at line 1"},
    {"bus-not-object.json", true, "top level: expected an object"},
    {"bus-bad-hex.json", true, "adapters[0].devices[0].inquiry: \"z\" at character 9 is not a hex digit"},
    {"bus-odd-hex.json", true, "adapters[0].devices[0].inquiry: odd number of hex digits"},
    {"bus-inquiry-too-long.json", true,
     "adapters[0].devices[0].inquiry: 249 bytes, expected 0 to 248 bytes"},
    {"bus-target-out-of-range.json", true,
     "adapters[0].devices[0].target: 16 is out of range, expected 0 to 15"},
    {"bus-target-negative.json", true, "adapters[0].devices[0].target: -1 is out of range"},
    {"bus-target-taken.json", true, "adapters[0].devices[1].target: target 2 is already taken"},
    {"bus-capacity-short.json", true,
     "adapters[0].devices[0].capacity: 6 bytes, expected exactly 8 bytes"},
    {"bus-page-code.json", true, "adapters[0].devices[0].pages[\"183\"]: a page code is one or two"},
    {"bus-fail-times.json", true, "adapters[0].devices[0].fail[0].times: 2.5 is not an integer"},
    {"bus-latency-too-long.json", true,
     "adapters[0].devices[0].latency[0].ms: 60001 is out of range, expected 0 to 60000"},
    {"bus-unknown-key.json", true, "adapters[0].devices[0]: unknown key \"capacty\""},
    {"bus-unknown-locale.json", true, "locale: unknown locale \"xx_YY\""},
    {"bus-duplicate-key.json", true,
     "adapters[0].devices[0]: key \"target\" given twice (line 8, column 11)"},
    {"bus-control-characters.json", true, "top level: unknown key \"\\x1b[2J\\n\\r\\x00\""},
    {"script-not-json.json", false, "not valid JSON at line 2"},
    {"script-not-array.json", false, "top level: expected an array of steps"},
    {"script-unknown-step.json", false, "[1]: unknown step \"press\""},
    {"script-two-keys.json", false, "[0]: a step is an object with exactly one key"},
    {"script-negative-index.json", false, "[0].select_target: -1 is out of range"},
    {"script-bad-answer.json", false, "[0].update.confirm: expected \"yes\" or \"no\""},
    {"script-no-file.json", false, "[0].update: missing \"file\""},
    {"script-duplicate-key.json", false, "[0]: key \"close\" given twice"},
};

}  // namespace

TEST_P(MalformedInputTest, EndsWithAMessageAndExitCodeTwo) {
    const BadFile& bad = GetParam();
    const QString path = case_file(QStringLiteral("malformed/") + QLatin1String(bad.file));
    const QString good_bus = case_file(QStringLiteral("bus-pv30.json"));
    const QString good_script = case_file(QStringLiteral("update-confirmed.json"));
    const SimRun run = run_program({QStringLiteral("--bus"), bad.is_bus ? path : good_bus,
                                    QStringLiteral("--script"), bad.is_bus ? good_script : path,
                                    QStringLiteral("--journal"), QStringLiteral("journal.jsonl")});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_TRUE(run.errors.startsWith(QStringLiteral("korvel-sim: ") + path + QStringLiteral(": ")))
        << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QString::fromUtf8(bad.expected))) << run.errors.toStdString();
    EXPECT_EQ(run.errors.count(u'\n'), 1) << run.errors.toStdString();
    EXPECT_FALSE(run.journal_written);
}

INSTANTIATE_TEST_SUITE_P(BadFiles, MalformedInputTest, ::testing::ValuesIn(BAD_FILES));

TEST_F(HarnessTest, MalformedBusEndsTheProgramWithoutAScriptToo) {
    const SimRun run = run_program(
        {QStringLiteral("--bus"), case_file(QStringLiteral("malformed/bus-bad-hex.json"))});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("is not a hex digit"))) << run.errors.toStdString();
}

TEST_F(HarnessTest, MissingBusFileIsReported) {
    const SimRun run = run_program({QStringLiteral("--bus"), QStringLiteral("no-such-bus.json")});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("no-such-bus.json: cannot read the file")))
        << run.errors.toStdString();
}

TEST_F(HarnessTest, CommandLinesItCannotFollowEndWithUsage) {
    const QString script = case_file(QStringLiteral("update-confirmed.json"));
    const QString bus = case_file(QStringLiteral("bus-pv30.json"));
    const QStringList scripted = {QStringLiteral("--script"), script, QStringLiteral("--journal"),
                                  QStringLiteral("journal.jsonl")};
    const QStringList bad_lines[] = {
        {QStringLiteral("--bus"), bus, QStringLiteral("--bus"), bus},
        scripted + QStringList{QStringLiteral("--script"), script},
        scripted + QStringList{QStringLiteral("--journal"), QStringLiteral("j")},
        scripted + QStringList{QStringLiteral("-platform"), QStringLiteral("xcb")},
        scripted + QStringList{QStringLiteral("-style"), QStringLiteral("fusion")},
        scripted + QStringList{QStringLiteral("--platform"), QStringLiteral("xcb")},
        {QStringLiteral("--bus"), bus, QStringLiteral("stray")},
        {QStringLiteral("--bus\n\x1b[2J")},
        {QStringLiteral("--script"), script},
        {QStringLiteral("--journal"), QStringLiteral("journal.jsonl")},
        {QStringLiteral("--bus")},
        {QStringLiteral("--scirpt"), script, QStringLiteral("--journal"), QStringLiteral("j")},
        {QStringLiteral("--screenshots"), QStringLiteral("."), QStringLiteral("en"),
         QStringLiteral("--script"), script, QStringLiteral("--journal"), QStringLiteral("j")},
    };
    for (const QStringList& arguments : bad_lines) {
        const SimRun run = run_program(arguments);
        EXPECT_EQ(run.exit_code, 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(run.errors.contains(QStringLiteral("usage: korvel-sim")))
            << run.errors.toStdString();
        EXPECT_EQ(run.errors.count(u'\n'), 1) << run.errors.toStdString();
        EXPECT_FALSE(run.journal_written);
    }
}

TEST_F(HarnessTest, JournalThatCannotBeWrittenIsReported) {
    const SimRun run = run_program(
        {QStringLiteral("--bus"), case_file(QStringLiteral("bus-pv30.json")),
         QStringLiteral("--script"), case_file(QStringLiteral("update-confirmed.json")),
         QStringLiteral("--journal"), scratch_path("no-such-folder/journal.jsonl")});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("cannot write the journal")))
        << run.errors.toStdString();
}

TEST_F(HarnessTest, InputsThatAreNotRegularFilesEndAtOnce) {
    ASSERT_EQ(QProcess::execute(QStringLiteral("mkfifo"), {scratch_path("fifo")}), 0);
    const QString fifo = scratch_path("fifo");
    const QString bus = case_file(QStringLiteral("bus-pv30.json"));
    const QString script = case_file(QStringLiteral("update-confirmed.json"));
    const QString journal = QStringLiteral("journal.jsonl");
    const QString not_regular = QStringLiteral(": cannot read the file: not a regular file");
    const struct {
        QString bus, script, journal, expected;
    } cases[] = {
        {fifo, script, journal, fifo + not_regular},
        {bus, fifo, journal, fifo + not_regular},
        {bus, script, fifo, QStringLiteral("journal %1: not a regular file").arg(fifo)},
        {QStringLiteral("/dev/null"), script, journal, QStringLiteral("/dev/null") + not_regular},
        {bus, scratch_.path(), journal, scratch_.path() + not_regular},
        {bus, script, QStringLiteral("/dev/null"), QStringLiteral("/dev/null: not a regular file")},
        // A regular file whose every read fails with EIO.
        {QStringLiteral("/proc/self/mem"), script, journal,
         QStringLiteral("/proc/self/mem: read error: Input/output error")},
    };
    for (const auto& c : cases) {
        const SimRun run = run_program({QStringLiteral("--bus"), c.bus, QStringLiteral("--script"),
                                        c.script, QStringLiteral("--journal"), c.journal});
        EXPECT_EQ(run.exit_code, 2) << c.expected.toStdString();
        EXPECT_TRUE(run.errors.contains(c.expected)) << run.errors.toStdString();
        EXPECT_EQ(run.errors.count(u'\n'), 1) << run.errors.toStdString();
    }
}

TEST_F(HarnessTest, JournalNeverOverwritesTheRunsInput) {
    ASSERT_TRUE(QFile::copy(case_file(QStringLiteral("bus-pv30.json")), scratch_path("bus.json")));
    ASSERT_TRUE(QFile::copy(case_file(QStringLiteral("buttons.json")), scratch_path("script.json")));
    ASSERT_EQ(QProcess::execute(QStringLiteral("ln"), {scratch_path("bus.json"),
                                                       scratch_path("hard-link.json")}), 0);
    ASSERT_TRUE(QFile::link(scratch_path("script.json"), scratch_path("symlink.json")));
    const QByteArray bus = scratch_bytes("bus.json");
    const QByteArray script = scratch_bytes("script.json");
    for (const char* journal : {"bus.json", "./script.json", "hard-link.json", "symlink.json"}) {
        const SimRun run = run_program({QStringLiteral("--bus"), QStringLiteral("bus.json"),
                                        QStringLiteral("--script"), QStringLiteral("script.json"),
                                        QStringLiteral("--journal"), QLatin1String(journal)});
        EXPECT_EQ(run.exit_code, 2) << journal;
        EXPECT_TRUE(run.errors.contains(QStringLiteral("cannot write the journal"))) << journal;
        EXPECT_EQ(scratch_bytes("bus.json"), bus) << journal;
        EXPECT_EQ(scratch_bytes("script.json"), script) << journal;
    }
}

TEST_F(HarnessTest, JournalThatCannotBeWrittenToTheEndGivesExitCodeThree) {
    // A full disk, portably: a file size limit of 1 KiB (512-byte blocks), its signal ignored
    // so that the write fails instead.
    const SimRun run = run_program(
        {QStringLiteral("--bus"), case_file(QStringLiteral("bus-pv30.json")),
         QStringLiteral("--script"), case_file(QStringLiteral("update-confirmed.json")),
         QStringLiteral("--journal"), QStringLiteral("journal.jsonl")},
        QStringLiteral("trap '' XFSZ; ulimit -f 2"));
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_EQ(run.errors.count(QStringLiteral("korvel-sim: writing the journal journal.jsonl failed\n")), 1)
        << run.errors.toStdString();
    EXPECT_FALSE(run.events.empty()) << "the whole events before the failure stay";
    EXPECT_LE(scratch_bytes("journal.jsonl").size(), 1024);
}

}  // namespace korvel::harness
