#include "harness_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QProcess>

#include "firmware_images.h"

namespace korvel::harness {

namespace {

constexpr int RUN_TIMEOUT_MS = 60000;

namespace images = firmware_images;

}  // namespace

std::vector<std::size_t> SimRun::indexes(const char* kind) const {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].value(QStringLiteral("event")).toString() == QLatin1String(kind)) {
            found.push_back(i);
        }
    }
    return found;
}

std::vector<QJsonObject> SimRun::of(const char* kind) const {
    std::vector<QJsonObject> found;
    for (const std::size_t i : indexes(kind)) found.push_back(events[i]);
    return found;
}

std::size_t SimRun::step_at(int step) const {
    for (const std::size_t i : indexes("step")) {
        if (events[i].value(QStringLiteral("index")).toInt(-1) == step) return i;
    }
    return events.size();
}

std::vector<std::pair<std::size_t, QJsonObject>> SimRun::scsi(const char* cdb_prefix) const {
    std::vector<std::pair<std::size_t, QJsonObject>> found;
    for (const std::size_t i : indexes("scsi")) {
        if (events[i].value(QStringLiteral("cdb")).toString().startsWith(QLatin1String(cdb_prefix))) {
            found.emplace_back(i, events[i]);
        }
    }
    return found;
}

std::vector<std::pair<std::size_t, QJsonObject>> SimRun::messages() const {
    std::vector<std::pair<std::size_t, QJsonObject>> found;
    for (const std::size_t i : indexes("message")) found.emplace_back(i, events[i]);
    return found;
}

void HarnessTest::SetUp() {
    ASSERT_TRUE(scratch_.isValid());
    const std::string folder = scratch_.path().toStdString();
    ASSERT_TRUE(images::save_file(folder + "/" + SOUND_FILE, images::bridge_image(5, PV30_MODEL)));
    ASSERT_TRUE(images::save_file(folder + "/" + DAMAGED_FILE,
                                  images::bridge_image(5, PV30_MODEL, images::Flaw::bad_checksum)));
}

QString HarnessTest::case_file(const QString& name) {
    return QStringLiteral(KORVEL_HARNESS_CASES) + u'/' + name;
}

QString HarnessTest::scratch_path(const char* name) const {
    return scratch_.filePath(QString::fromLatin1(name));
}

QByteArray HarnessTest::scratch_bytes(const char* name) const {
    QFile file(scratch_path(name));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

SimRun HarnessTest::run_case(const char* bus, const char* script) {
    QFile::remove(scratch_path("bus.json"));
    QFile::remove(scratch_path("script.json"));
    EXPECT_TRUE(QFile::copy(case_file(QString::fromLatin1(bus)), scratch_path("bus.json"))) << bus;
    EXPECT_TRUE(QFile::copy(case_file(QString::fromLatin1(script)), scratch_path("script.json")))
        << script;
    return run_program({QStringLiteral("--bus"), QStringLiteral("bus.json"),
                        QStringLiteral("--script"), QStringLiteral("script.json"),
                        QStringLiteral("--journal"), QStringLiteral("journal.jsonl")});
}

SimRun HarnessTest::run_on_terminal(const QStringList& arguments, const QByteArray& typed) {
    QString command = QStringLiteral("exec '") + QStringLiteral(KORVEL_SIM_PROGRAM) + u'\'';
    for (const QString& argument : arguments) command += QStringLiteral(" '") + argument + u'\'';
    return run_program({}, {}, {QStringLiteral("/usr/bin/script"),
                                {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")}},
                       typed);
}

SimRun HarnessTest::run_program(const QStringList& arguments, const QString& shell_setup,
                                const std::pair<QString, QStringList>& other_program,
                                const QByteArray& typed) {
    QFile::remove(scratch_path("journal.jsonl"));
    SimRun run;
    QProcess program;
    program.setWorkingDirectory(scratch_.path());
    if (!other_program.first.isEmpty()) {
        program.start(other_program.first, other_program.second);
        if (program.waitForStarted(RUN_TIMEOUT_MS)) program.write(typed);
        program.closeWriteChannel();
    } else if (shell_setup.isEmpty()) {
        program.start(QStringLiteral(KORVEL_SIM_PROGRAM), arguments);
    } else {
        program.start(QStringLiteral("/bin/sh"),
                      QStringList{QStringLiteral("-c"), shell_setup + QStringLiteral("; exec \"$0\" \"$@\""),
                                  QStringLiteral(KORVEL_SIM_PROGRAM)} +
                          arguments);
    }
    if (!program.waitForStarted(RUN_TIMEOUT_MS)) {
        ADD_FAILURE() << "korvel-sim did not start: " << program.errorString().toStdString();
        return run;
    }
    run.finished = program.waitForFinished(RUN_TIMEOUT_MS);
    if (!run.finished) {
        program.kill();
        program.waitForFinished();
        ADD_FAILURE() << "korvel-sim did not finish";
    }
    run.exit_code = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    run.output = QString::fromUtf8(program.readAllStandardOutput());
    run.errors = QString::fromUtf8(program.readAllStandardError());

    QFile journal(scratch_path("journal.jsonl"));
    run.journal_written = journal.exists();
    if (!journal.open(QIODevice::ReadOnly)) return run;
    const QByteArray text = journal.readAll();
    EXPECT_TRUE(text.isEmpty() || text.endsWith('\n')) << "the last line is cut off";
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty()) continue;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        EXPECT_TRUE(document.isObject()) << line.toStdString();
        run.lines.push_back(line);
        run.events.push_back(document.object());
    }
    return run;
}

std::vector<std::uint8_t> from_hex(const QString& hex) {
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    return {bytes.begin(), bytes.end()};
}

QString sha256_of(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

std::string control_state(const QJsonObject& state) {
    std::string text;
    for (const char* key : {"update", "backup", "exit", "host_group", "target_group", "fae_label"}) {
        const QJsonValue value = state.value(QLatin1String(key));
        if (!text.empty()) text += ' ';
        text += key;
        text += value.isBool() ? (value.toBool() ? "=1" : "=0") : "=?";
    }
    return text;
}

}  // namespace korvel::harness
