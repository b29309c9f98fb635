#include "korvel_sim_main.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <system_error>

#include "demo_bus.h"
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
#include "sim_script.h"
#include "sim_script_run.h"
#include "sim_write_span.h"
#include "terminal_face.h"
#include "util_platform_seam.h"

namespace korvel {

namespace fs = std::filesystem;

namespace {

constexpr int EXIT_BAD_INPUT = 2;
constexpr int EXIT_JOURNAL_FAILED = 3;

const char USAGE[] =
    "usage: korvel-sim [--bus BUS.json] [--script SCRIPT.json --journal OUT.jsonl]"
    " | korvel-sim [--bus BUS.json] [--journal OUT.jsonl] -- KORVEL-UPDATE-OPTIONS..."
    " | korvel-sim --samples DIR | korvel-sim --screenshots DIR TAG";

struct Options {
    std::string bus;
    std::string script;
    std::string journal;
    std::string screenshot_folder;
    std::string screenshot_tag;
    std::string samples;
    /// argv[0] and the arguments after "--": korvel-update's command line.
    std::vector<char*> terminal;
    /// argv[0] and the arguments left to the face's toolkit (a Qt window's -style and the
    /// like).
    std::vector<char*> for_toolkit;
};

// A message as one line whatever the input held: control characters of names, keys and paths
// are written as escapes (\n, \r, \t, \x1b, \x00, \x85, \u2028), so they can neither break the
// line nor drive the terminal. A byte that starts no UTF-8 character is written as \xNN too.
std::string one_line(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    char escape[16];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
        const auto third = i + 2 < text.size() ? static_cast<unsigned char>(text[i + 2]) : 0u;
        if (byte == '\n') {
            line += "\\n";
        } else if (byte == '\r') {
            line += "\\r";
        } else if (byte == '\t') {
            line += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            line += escape;
        } else if (byte == 0xC2 && next >= 0x80 && next < 0xA0) {  // C1 controls
            std::snprintf(escape, sizeof escape, "\\x%02x", next);
            line += escape;
            ++i;
        } else if (byte == 0xE2 && next == 0x80 && (third == 0xA8 || third == 0xA9)) {
            line += third == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else if (byte >= 0x80 && (byte < 0xC2 || byte > 0xF4 || (next & 0xC0u) != 0x80u)) {
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            line += escape;
        } else {
            line += static_cast<char>(byte);
        }
    }
    return line;
}

int bad_input(const std::string& text) {
    sim_say(text);
    return EXIT_BAD_INPUT;
}

int usage_error(const std::string& text) { return bad_input(text + "; " + USAGE); }

// Reads the options. Each is given at most once; arguments that are not its own are left to
// the face's toolkit for a window and refused in a scripted run, where nothing may change
// what it does. Returns an exit code when the command line cannot be followed.
std::optional<int> parse_options(int argc, char** argv, Options& options) {
    options.for_toolkit.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return !into.empty();
        };
        std::string* first = nullptr;
        if (std::strcmp(argument, "--") == 0) {
            options.terminal.push_back(argv[0]);
            options.terminal.insert(options.terminal.end(), argv + i + 1, argv + argc);
            break;
        }
        if (std::strcmp(argument, "--bus") == 0) {
            first = &options.bus;
        } else if (std::strcmp(argument, "--script") == 0) {
            first = &options.script;
        } else if (std::strcmp(argument, "--journal") == 0) {
            first = &options.journal;
        } else if (std::strcmp(argument, "--screenshots") == 0) {
            first = &options.screenshot_folder;
        } else if (std::strcmp(argument, "--samples") == 0) {
            first = &options.samples;
        } else if (std::strncmp(argument, "--", 2) == 0 || argument[0] != '-') {
            // Qt takes "--style" as it takes "-style": only single-dash arguments are its own.
            return usage_error("unknown argument " + std::string(argument));
        } else {
            options.for_toolkit.push_back(argv[i]);
            // The value of a toolkit option that takes one ("-style fusion").
            if (i + 1 < argc && argv[i + 1][0] != '-') options.for_toolkit.push_back(argv[++i]);
            continue;
        }
        if (!first->empty()) return usage_error(std::string(argument) + " is given twice");
        const bool ok = value(*first) && (first != &options.screenshot_folder ||
                                          value(options.screenshot_tag));
        if (!ok) return usage_error(std::string(argument) + " needs a value");
    }
    const bool terminal = !options.terminal.empty();
    if (terminal && (!options.script.empty() || !options.screenshot_folder.empty() ||
                     !options.samples.empty() || options.for_toolkit.size() > 1)) {
        return usage_error("the command line after -- takes only --bus and --journal before it");
    }
    if (!terminal && options.script.empty() != options.journal.empty()) {
        return usage_error("--script and --journal go together");
    }
    if (!options.samples.empty() && argc != 3) {
        return usage_error("--samples takes its folder and nothing else");
    }
    if (!options.screenshot_folder.empty() && (!options.bus.empty() || !options.script.empty())) {
        return usage_error("--screenshots takes its pictures of the demo bus only");
    }
    if (!options.script.empty() && options.for_toolkit.size() > 1) {
        return usage_error("a scripted run takes no other arguments: " +
                           std::string(options.for_toolkit[1]));
    }
    options.for_toolkit.push_back(nullptr);
    return std::nullopt;
}

// A new folder of the demo's own for its sample files, removed when the run ends.
class SampleFolder {
public:
    SampleFolder() {
        std::error_code error;
        const fs::path temporary = fs::temp_directory_path(error);
        if (error) return;
        std::random_device seed;
        std::mt19937 random(seed());
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, "korvel-sim-%06x",
                          static_cast<unsigned>(random() & 0xFFFFFFu));
            const fs::path candidate = temporary / name;
            if (fs::create_directory(candidate, error) && !error) path_ = candidate;
        }
    }
    ~SampleFolder() {
        std::error_code error;
        if (!path_.empty()) fs::remove_all(path_, error);
    }
    SampleFolder(const SampleFolder&) = delete;
    SampleFolder& operator=(const SampleFolder&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string utf8_of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

void sim_say(const std::string& text) {
    std::fprintf(stderr, "korvel-sim: %s\n", one_line(text).c_str());
}

int korvel_sim_main(int argc, char** argv, SimFace& face) {
    Options options;
    if (const auto code = parse_options(argc, argv, options)) return *code;
    if (!options.samples.empty()) {
        SimPlatform sim;
        const DemoBus demo = lay_out_demo_bus(sim);
        if (write_demo_firmware_files(demo, fs::path(options.samples))) return 0;
        sim_say("could not write the sample firmware files into " + options.samples);
        return EXIT_BAD_INPUT;
    }
    // korvel-update's command line is read before anything is opened: a usage error, --help
    // and --version end here.
    const bool terminal = !options.terminal.empty();
    TerminalCommand command;
    if (terminal) {
        install_os_util_platform();
        const int answered = start_command_line(static_cast<int>(options.terminal.size()),
                                                options.terminal.data(), command);
        if (answered >= 0) return answered;
    }

    std::optional<BusFile> bus_file;
    std::vector<FileIdentity> inputs;
    if (!options.bus.empty()) {
        InputFile input;
        std::string error;
        if (read_input_file(options.bus, input, error)) bus_file = parse_bus_file(input.bytes, error);
        if (!bus_file) return bad_input(options.bus + ": " + error);
        inputs.push_back(input.identity);
    }
    // A run that writes a journal: the window's script, or the command line with --journal.
    const bool journalled = !options.script.empty() || (terminal && !options.journal.empty());
    std::vector<ScriptStep> steps;
    SimJournal journal;
    if (journalled) {
        InputFile input;
        std::string error;
        if (!options.script.empty()) {
            std::optional<std::vector<ScriptStep>> read;
            if (read_input_file(options.script, input, error)) {
                read = parse_script(input.bytes, folder_of(options.script), error);
            }
            if (!read) return bad_input(options.script + ": " + error);
            steps = std::move(*read);
            inputs.push_back(input.identity);
        }
        const std::string journal_error = "cannot write the journal " + options.journal + ": ";
        if (!options.bus.empty() && same_path(options.journal, options.bus)) {
            return bad_input(journal_error + "it is the bus file");
        }
        if (!options.script.empty() && same_path(options.journal, options.script)) {
            return bad_input(journal_error + "it is the script");
        }
        if (!journal.open(options.journal, inputs, error)) return bad_input(journal_error + error);
    }

    SimPlatform sim;
    DemoBus demo;
    if (bus_file) {
        const std::vector<PlacedDevice> placed = lay_out_bus_file(*bus_file, sim);
        if (journalled) {
            for (const PlacedDevice& device : placed) {
                journal_commands(*device.device, device.host, device.target, device.lun, journal);
            }
        }
    } else {
        demo = lay_out_demo_bus(sim);
        if (journalled) {
            for (const DemoDevice& device : demo.devices) {
                journal_commands(*device.device, device.host, device.target, 0, journal);
            }
        } else {
            // A person trying the demo sees an update take its time and its progress move.
            give_flash_times(demo);
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
    // A simulated write holds nothing of the real machine; a journalled run journals the hold's
    // take and release among the bridge's commands.
    SimWriteSpanHold write_span_hold([&journal, journalled](bool held, const char* reason) {
        if (!journalled) return;
        JsonObjectText event;
        event.text("event", "write_span").boolean("held", held);
        if (held) event.text("reason", reason);
        journal.write(event);
    });
    UtilPlatform util_platform = installed_util_platform();
    util_platform.write_span = &write_span_hold;
    install_util_platform(util_platform);
    detect_system_language();

    // The demo's sample files; over a bus file the open dialog starts in the file's folder.
    std::optional<SampleFolder> samples;
    SimFaceStart start;
    if (bus_file) {
        start.firmware_folder = folder_of(options.bus);
    } else if (!journalled && !terminal) {
        samples.emplace();
        if (samples->path().empty() || !write_demo_firmware_files(demo, samples->path())) {
            sim_say("could not write the sample firmware files");
        } else {
            start.firmware_folder = utf8_of(samples->path());
            std::printf("korvel-sim: sample firmware files in %s\n",
                        start.firmware_folder.c_str());
            std::fflush(stdout);
        }
    }

    std::optional<ScriptedRun> run;
    if (!options.script.empty()) start.scripted = &run.emplace(journal, std::move(steps));
    start.screenshot_folder = options.screenshot_folder;
    start.screenshot_tag = options.screenshot_tag;
    start.toolkit_arguments = std::move(options.for_toolkit);
    int code = terminal ? run_terminal_command(command, argv[0]) : face.run(start);
    if (journalled) {
        journal.close();
        // An exit code of its own: the journal lacks events, whatever the run's own code.
        if (journal.failed()) {
            sim_say("writing the journal " + options.journal + " failed");
            code = EXIT_JOURNAL_FAILED;
        }
    }
    return code;
}

}  // namespace korvel
