// korvel-sim: the program's own window and code over a simulated Windows NT system with
// simulated KORVEL bridges. It opens on a demo bus and writes sample firmware files into a
// folder of its own, where the open dialog starts. It is also the test harness: a bus from a
// file, and a script of steps performed on the window without showing it, with a journal of
// everything that happened.
//
//   korvel-sim                          the demo
//   korvel-sim --bus BUS.json           the window over the bus described in BUS.json
//   korvel-sim [--bus BUS.json] --script SCRIPT.json --journal OUT.jsonl
//                                       the script's steps, offscreen; the journal in OUT.jsonl
//   korvel-sim --screenshots DIR TAG    the documentation's pictures, then it closes
//
// A malformed bus or script file, an input or journal that is not a regular file, or a command
// line it cannot follow ends the program with one line on stderr and exit code 2 before any
// window exists. A journal that could not be written to the end gives exit code 3.
#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "demo_bus.h"
#include "korvel_main.h"
#include "korvel_program.h"
#include "lib_getwnver.h"
#ifdef _WIN32
#include "windows_platform.h"
#include "windows_util_platform.h"
#else
#include "linux_platform.h"
#include "linux_util_platform.h"
#endif
#include "sim_bus_file.h"
#include "sim_input_file.h"
#include "sim_journal.h"
#include "sim_platform.h"
#include "sim_screenshots.h"
#include "sim_script.h"
#include "sim_script_run.h"

using namespace korvel;

namespace {

constexpr int EXIT_BAD_INPUT = 2;
constexpr int EXIT_JOURNAL_FAILED = 3;

const char USAGE[] =
    "usage: korvel-sim [--bus BUS.json] [--script SCRIPT.json --journal OUT.jsonl]"
    " | korvel-sim --screenshots DIR TAG";

struct Options {
    QString bus;
    QString script;
    QString journal;
    QString screenshot_folder;
    QString screenshot_tag;
    /// argv[0] and the arguments left to Qt (a window's -style and the like).
    std::vector<char*> for_qt;
};

// A message as one line whatever the input held: control characters of names, keys and paths
// are written as escapes (\n, \r, \t, \x1b, \x00, \u2028), so they can neither break the line
// nor drive the terminal.
QString one_line(const QString& text) {
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n') {
            line += QStringLiteral("\\n");
        } else if (u == u'\r') {
            line += QStringLiteral("\\r");
        } else if (u == u'\t') {
            line += QStringLiteral("\\t");
        } else if (u < 0x20 || (u >= 0x7F && u < 0xA0)) {
            line += QStringLiteral("\\x%1").arg(static_cast<uint>(u), 2, 16, QLatin1Char('0'));
        } else if (u == 0x2028 || u == 0x2029) {
            line += QStringLiteral("\\u%1").arg(static_cast<uint>(u), 4, 16, QLatin1Char('0'));
        } else {
            line += c;
        }
    }
    return line;
}

void say(const QString& text) {
    std::fprintf(stderr, "korvel-sim: %s\n", one_line(text).toLocal8Bit().constData());
}

int bad_input(const QString& text) {
    say(text);
    return EXIT_BAD_INPUT;
}

int usage_error(const QString& text) {
    return bad_input(text + QStringLiteral("; ") + QLatin1String(USAGE));
}

QString argument_text(const char* argument) { return QString::fromLocal8Bit(argument); }

// Reads the options. Each is given at most once; arguments that are not its own are left to
// Qt for a window and refused in a scripted run, where nothing may change what it does.
// Returns an exit code when the command line cannot be followed.
std::optional<int> parse_options(int argc, char** argv, Options& options) {
    options.for_qt.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        const auto value = [&](QString& into) {
            if (i + 1 >= argc) return false;
            into = argument_text(argv[++i]);
            return !into.isEmpty();
        };
        QString* first = nullptr;
        if (std::strcmp(argument, "--bus") == 0) {
            first = &options.bus;
        } else if (std::strcmp(argument, "--script") == 0) {
            first = &options.script;
        } else if (std::strcmp(argument, "--journal") == 0) {
            first = &options.journal;
        } else if (std::strcmp(argument, "--screenshots") == 0) {
            first = &options.screenshot_folder;
        } else if (std::strncmp(argument, "--", 2) == 0 || argument[0] != '-') {
            // Qt takes "--style" as it takes "-style": only single-dash arguments are its own.
            return usage_error(QStringLiteral("unknown argument %1").arg(argument_text(argument)));
        } else {
            options.for_qt.push_back(argv[i]);
            // The value of a Qt option that takes one ("-style fusion").
            if (i + 1 < argc && argv[i + 1][0] != '-') options.for_qt.push_back(argv[++i]);
            continue;
        }
        if (!first->isEmpty()) {
            return usage_error(QStringLiteral("%1 is given twice").arg(argument_text(argument)));
        }
        const bool ok = value(*first) && (first != &options.screenshot_folder ||
                                          value(options.screenshot_tag));
        if (!ok) return usage_error(QStringLiteral("%1 needs a value").arg(argument_text(argument)));
    }
    if (options.script.isEmpty() != options.journal.isEmpty()) {
        return usage_error(QStringLiteral("--script and --journal go together"));
    }
    if (!options.screenshot_folder.isEmpty() &&
        (!options.bus.isEmpty() || !options.script.isEmpty())) {
        return usage_error(QStringLiteral("--screenshots takes its pictures of the demo bus only"));
    }
    if (!options.script.isEmpty() && options.for_qt.size() > 1) {
        return usage_error(QStringLiteral("a scripted run takes no other arguments: %1")
                               .arg(argument_text(options.for_qt[1])));
    }
    options.for_qt.push_back(nullptr);
    return std::nullopt;
}

// Whether two paths name one file by their resolved forms (the file's identity is compared
// when the journal is opened).
bool same_path(const QString& one, const QString& other) {
    const QFileInfo a(one);
    const QFileInfo b(other);
    if (a.absoluteFilePath() == b.absoluteFilePath()) return true;
    const QString resolved = a.canonicalFilePath();
    return !resolved.isEmpty() && resolved == b.canonicalFilePath();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const auto code = parse_options(argc, argv, options)) return *code;

    std::optional<BusFile> bus_file;
    std::vector<FileIdentity> inputs;
    if (!options.bus.isEmpty()) {
        InputFile input;
        QString error;
        if (read_input_file(options.bus, input, error)) bus_file = parse_bus_file(input.bytes, error);
        if (!bus_file) return bad_input(options.bus + QStringLiteral(": ") + error);
        inputs.push_back(input.identity);
    }
    const bool scripted = !options.script.isEmpty();
    std::vector<ScriptStep> steps;
    SimJournal journal;
    if (scripted) {
        InputFile input;
        QString error;
        std::optional<std::vector<ScriptStep>> read;
        if (read_input_file(options.script, input, error)) {
            read = parse_script(input.bytes, QFileInfo(options.script).absolutePath(), error);
        }
        if (!read) return bad_input(options.script + QStringLiteral(": ") + error);
        steps = std::move(*read);
        inputs.push_back(input.identity);
        const QString journal_error = QStringLiteral("cannot write the journal %1: %2");
        if (!options.bus.isEmpty() && same_path(options.journal, options.bus)) {
            return bad_input(journal_error.arg(options.journal, QStringLiteral("it is the bus file")));
        }
        if (same_path(options.journal, options.script)) {
            return bad_input(journal_error.arg(options.journal, QStringLiteral("it is the script")));
        }
        if (!journal.open(options.journal, inputs, error)) {
            return bad_input(journal_error.arg(options.journal, error));
        }
        // A scripted run shows nothing.
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    SimPlatform sim;
    DemoBus demo;
    if (bus_file) {
        const std::vector<PlacedDevice> placed = lay_out_bus_file(*bus_file, sim);
        if (scripted) {
            for (const PlacedDevice& device : placed) {
                journal_commands(*device.device, device.host, device.target, device.lun, journal);
            }
        }
    } else {
        demo = lay_out_demo_bus(sim);
        if (scripted) {
            for (const DemoDevice& device : demo.devices) {
                journal_commands(*device.device, device.host, device.target, 0, journal);
            }
        }
        // The demo's simulated system speaks the language of the process locale.
#ifdef _WIN32
        sim.identity.set_lcid(windows_identity().system_default_lcid());
#else
        sim.identity.set_lcid(lcid_from_locale_name(process_locale_name()));
#endif
    }
    sim.install();
    install_os_util_platform();
    detect_system_language();

    // The demo's sample files; over a bus file the open dialog starts in the file's folder.
    std::optional<QTemporaryDir> samples;
    QString firmware_folder;
    if (bus_file) {
        firmware_folder = QFileInfo(options.bus).absolutePath();
    } else if (!scripted) {
        samples.emplace(QDir::tempPath() + QStringLiteral("/korvel-sim-XXXXXX"));
        firmware_folder = samples->isValid() ? samples->path() : QString();
        if (firmware_folder.isEmpty() ||
            !write_demo_firmware_files(demo,
                                       std::filesystem::path(firmware_folder.toStdU16String()))) {
            say(QStringLiteral("could not write the sample firmware files"));
        } else {
            std::printf("korvel-sim: sample firmware files in %s\n", qPrintable(firmware_folder));
        }
    }

    std::unique_ptr<ScriptedRun> run;
    int qt_argc = static_cast<int>(options.for_qt.size()) - 1;
    int code = run_program(qt_argc, options.for_qt.data(), [&](TForm_Main& form) {
        form.set_firmware_folder(firmware_folder);
        if (scripted) {
            run = std::make_unique<ScriptedRun>(form, journal, std::move(steps));
            run->begin();
        } else if (!options.screenshot_folder.isEmpty()) {
            take_screenshots(form, options.screenshot_folder, options.screenshot_tag,
                             firmware_folder);
        }
    });
    if (scripted) {
        journal.close();
        // An exit code of its own: the journal lacks events, whatever the run's own code.
        if (journal.failed()) {
            say(QStringLiteral("writing the journal %1 failed").arg(options.journal));
            code = EXIT_JOURNAL_FAILED;
        }
    }
    return code;
}
