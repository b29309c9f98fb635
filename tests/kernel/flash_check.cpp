// The whole program over the real kernel, inside the QEMU guest next to korvel-tcmu-bridges,
// which serves the bus of kernel_bus.h through TCMU on a tcm_loop host. The window's form
// (MainForm over a simulated screen) starts the SCSI service on the sg driver, lists the
// adapters, scans the tcm_loop host and updates every bridge it offers an update for three
// times: a sound file answered Yes, a damaged file, a sound file answered No.
//
// The same steps run first over the simulated Windows NT system with the same catalogue
// models, as korvel-sim and the family tests run them. Both roads must show the same buttons
// and messages and send the same commands (CDB, direction, length, hash of the data sent,
// status), as the bridge server's journal records them on the kernel's. Over the kernel every
// READ BUFFER must also return what its WRITE BUFFER wrote, and a damaged or declined file send
// no WRITE BUFFER at all. Printed: each update's time next to the floor of the program's own
// pacing, and the mean time of one TEST UNIT READY through sg, tcm_loop and the ring.
//
// Last, the hand-over: the sg helper started as pkexec starts it (the socket as descriptor 0),
// and the window played by a process that dropped to an ordinary uid.
//
//   korvel-kernel-flash JOURNAL HELPER   the bridge server's journal file, the sg helper
#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "firmware_images.h"
#include "kernel_bus.h"
#include "korvel_main_form.h"
#include "korvel_msg.h"
#include "lib_wnaspi32.h"
#include "linux_platform.h"
#include "linux_sg_handover.h"
#include "linux_util_platform.h"
#include "nt_emulation.h"
#include "sim_bridge.h"
#include "sim_main_view.h"
#include "sim_platform.h"

namespace korvel {
namespace {

using namespace kernel_bus;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

constexpr const char* TCM_LOOP_DRIVER = "tcm_loopback";
constexpr int TEST_UNIT_READY_COUNT = 3000;
constexpr std::uint8_t SCSI_DEBUG_HOST = 1;
constexpr double WRITE_PAUSE_MS = 100.0;  // the pacing of the command library
constexpr double POLL_MS = 1.0;

int passed = 0;
int failed = 0;

void check(bool ok, const std::string& what) {
    ++(ok ? passed : failed);
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
}

enum Kind { SOUND_YES, DAMAGED, SOUND_NO };
constexpr const char* KIND_NAMES[] = {"sound file, Yes", "damaged file", "sound file, No"};

std::string file_path(std::int32_t code, Kind kind) {
    return "/tmp/" + std::to_string(code) + (kind == DAMAGED ? "-damaged.bin" : "-sound.bin");
}

// Writes the files of every bridge; returns "target family model" of each, in target order.
Lines write_files() {
    Lines bridges;
    for (const Slot& slot : SLOTS) {
        const auto device = make_device(slot);
        const auto* bridge = dynamic_cast<const SimBridge*>(device.get());
        if (bridge == nullptr) continue;
        const std::string& model = bridge->profile().model_text;
        auto file = firmware_images::sound_file(slot.family_code, model, bridge->inquiry_data());
        firmware_images::save_file(file_path(slot.family_code, SOUND_YES), file);
        // One payload byte changed: the checksum no longer comes out (PV70: in the image).
        file[(slot.family_code == 4 ? 0x800 : 0) + 400] ^= 0x01;
        firmware_images::save_file(file_path(slot.family_code, DAMAGED), file);
        bridges.push_back(std::to_string(slot.target) + " " + std::to_string(slot.family_code) +
                          " " + model);
    }
    return bridges;
}

// What one road showed and sent: a line per target button, and per step its messages and the
// commands the bus received.
struct Step {
    std::string name;
    Lines messages;
    Lines commands;
    double ms = 0;
};
struct Run {
    Lines buttons;
    std::vector<Step> steps;
    int tcm_host = -1;
    SimMainView view;
};

// Runs the window's steps over the installed platform; take_commands gives the commands the
// devices received since it was last called.
void run_window(Run& run, const std::function<Lines()>& take_commands) {
    SimPerson person;
    install_user_interface(&person);
    MainForm form(run.view);
    form.FormCreate("korvel-kernel-flash");
    form.FormShow();
    for (int i = 0; i < HOST_BUTTONS; ++i) {
        const auto& button = run.view.control(controls::BTN_Host_0 + i);
        if (button.shown && button.caption == TCM_LOOP_DRIVER) run.tcm_host = i;
    }
    check(form.service_started() && run.tcm_host >= 0, "the service starts; tcm_loop has a button");
    take_commands();
    const auto step = [&](std::string name, int answer, auto&& action) {
        person.messages.clear();
        person.answers = {answer};
        const auto start = Clock::now();
        action();
        Step& done = run.steps.emplace_back(Step{std::move(name), {}, take_commands()});
        done.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        for (const SimMessage& message : person.messages) done.messages.push_back(message.text);
    };
    step("scan", ID_NO, [&] { form.BTN_Host_0Click(run.tcm_host); });
    for (int i = 0; i < form.target_count(); ++i) {
        const auto& button = run.view.control(controls::BTN_Target_0 + i);
        const TargetRecord& target = form.target_record(i);
        // The hint's first line names the host, which differs between the roads.
        run.buttons.push_back(std::to_string(target.target) + " " +
                              std::to_string(target.family_code) + " " + target.bridge_ident +
                              " | " + button.caption + " | " + std::to_string(button.picture) +
                              " | " + button.hint.substr(button.hint.find('\n') + 1));
        form.BTN_Target_0Click(i);
        if (!run.view.control(controls::BTN_UpdateKORVEL).enabled) continue;
        for (const Kind kind : {SOUND_YES, DAMAGED, SOUND_NO}) {
            run.view.file_to_choose = file_path(target.family_code, kind);
            step(std::to_string(target.family_code) + ": " + KIND_NAMES[kind],
                 kind == SOUND_NO ? ID_NO : ID_YES, [&] { form.BTN_UpdateKORVELClick(); });
        }
    }
    form.FormClose();
    check(!person.messages.empty() &&
              person.messages.back().text == message_text(MSG_REBOOT_REMINDER),
          "closing after a write reminds of the restart");
}

// The simulated Windows NT road: the models on port 0, named as the kernel names tcm_loop.
void run_simulated(Run& run) {
    SimPlatform sim;
    Lines commands;
    std::vector<SimPortDevice> port;
    for (const Slot& slot : SLOTS) {
        auto device = make_device(slot);
        device->set_observer([&commands, target = slot.target](const SimJournalEntry& entry) {
            commands.push_back(journal_line(target, entry.cdb, entry.direction, entry.length,
                                            entry.data_out, entry.status));
        });
        port.push_back({0, slot.target, 0, std::move(device), true});
    }
    sim.nt.lay_out_port(0, TCM_LOOP_DRIVER, port);
    sim.install();
    run_window(run, [&] { return std::exchange(commands, {}); });
}

// The kernel's road: the bridge server's journal lines written since the last call.
Lines journal_since(const char* journal, std::streamoff& read) {
    std::ifstream file(journal, std::ios::binary);
    file.seekg(read);
    const std::string rest{std::istreambuf_iterator<char>(file), {}};
    Lines lines;
    for (std::size_t at = 0, end; (end = rest.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(rest.substr(at, end - at));
        read += static_cast<std::streamoff>(end - at + 1);
    }
    return lines;
}

// What an update over the kernel must show and send on its own.
void check_update(const Step& step) {
    const bool sound = step.name.ends_with(KIND_NAMES[SOUND_YES]);
    const Lines expected =
        sound ? Lines{message_text(MSG_CONFIRM_UPDATE), message_text(MSG_UPDATE_SUCCEEDED)}
        : step.name.ends_with(KIND_NAMES[DAMAGED]) ? Lines{message_text(MSG_BAD_FIRMWARE)}
                                                   : Lines{message_text(MSG_CONFIRM_UPDATE)};
    check(step.messages == expected, step.name + ": the messages of its outcome");
    // A line: target, CDB, direction, length, hash of the data sent, status[, in:hash].
    std::map<std::string, std::string> written;  // buffer, place and length -> hash of data
    int writes = 0, paused = 0, read_back = 0;
    bool reads_match = true;
    for (const std::string& line : step.commands) {
        char cdb[80] = {}, out[20] = {}, in[24] = {};
        int length = 0;
        std::sscanf(line.c_str(), "%*d %79s %*s %d %19s %*d %23s", cdb, &length, out, in);
        const std::string buffer = cdb + 4, place = std::string(cdb).substr(6, 12);
        if (std::strncmp(cdb, "3b", 2) == 0) {
            ++writes;
            paused += buffer.substr(0, 2) != "64";  // the PV70 pieces have no pause
            // The copier board reads back through buffer 0x62 what buffer 0x64 took.
            written[(buffer.starts_with("64") ? "62" : buffer.substr(0, 2)) + place] = out;
        } else if (std::strncmp(cdb, "3c", 2) == 0) {
            const auto found = written.find(buffer.substr(0, 2) + place);
            reads_match &= found != written.end() && "in:" + found->second == in;
            read_back += length;
        }
    }
    if (!sound) return check(writes == 0, step.name + ": not one WRITE BUFFER reaches the bridge");
    check(writes > 0 && reads_match, step.name + ": every READ BUFFER returns the bytes written");
    const double floor =
        WRITE_PAUSE_MS * paused + POLL_MS * static_cast<double>(step.commands.size());
    std::printf(
        "     %s: %zu commands, %d bytes read back, %.0f ms (pacing floor %.0f ms, %.2fx)\n",
        step.name.c_str(), step.commands.size(), read_back, step.ms, floor, step.ms / floor);
}

// TEST UNIT READY, one after another through the service layer, which the sg provider carries
// out as one SG_IO each on its worker; the mean time in microseconds, -1 on a failure.
double mean_test_unit_ready_us(std::uint8_t host, std::uint8_t target) {
    const auto start = Clock::now();
    for (int i = 0; i < TEST_UNIT_READY_COUNT; ++i) {
        SRB_ExecSCSICmd srb{};
        srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        srb.SRB_HaId = host;
        srb.SRB_Target = target;
        srb.SRB_SenseLen = 14;
        srb.SRB_CDBLen = 6;
        if (aspi_send_and_wait(&srb) != SS_COMP) return -1;
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
           TEST_UNIT_READY_COUNT;
}

// Whether this process can open any sg node, for reading or writing.
bool opens_any_sg_node() {
    bool opened = false;
    for (int n = 0; n < 64; ++n) {
        for (const int mode : {O_RDWR, O_RDONLY}) {
            const int fd = open(("/dev/sg" + std::to_string(n)).c_str(), mode | O_NONBLOCK);
            opened = opened || fd >= 0;
            if (fd >= 0) close(fd);
        }
    }
    return opened;
}

// The window as an ordinary user, over the nodes the helper hands it: none of its own, exactly
// the bridges served (not the emulated disk and CD-ROM drive, not scsi_debug's disk, not the
// ordinary disk among the bridges), every adapter as root sees it, and an update of a PV30.
// Returns the number of its failed checks.
int play_window(int socket, int tcm_host, std::size_t bridges) {
    const int failed_before = failed;
    constexpr uid_t NOBODY = 65534;
    check(setgroups(0, nullptr) == 0 && setgid(NOBODY) == 0 && setuid(NOBODY) == 0 &&
              !opens_any_sg_node(),
          "hand-over: the window's process runs as uid 65534 and opens no sg node itself");
    const SgHandoverResult result = receive_sg_nodes(socket, 60000);
    check(result.ended && result.refused == 0 && result.accepted == bridges,
          "hand-over: " + std::to_string(result.accepted) + " nodes received, one per bridge");
    install_os_platform_over(&received_sg_nodes());
    bool only_bridges = scsi_start() == tcm_host + 1;
    std::size_t reachable = 0;
    for (std::uint32_t host = 0; host < MAX_HOSTS; ++host)
        for (std::uint32_t target = 0; target < MAX_TARGETS; ++target)
            for (std::uint32_t lun = 0; lun < MAX_LUNS; ++lun)
                if (device_slot(host, target, lun).handle != 0) {
                    ++reachable;
                    only_bridges = only_bridges && host == static_cast<std::uint32_t>(tcm_host);
                }
    scsi_stop();
    check(only_bridges && reachable == bridges,
          "hand-over: every device it reaches is a bridge on tcm_loop, every adapter offered");

    Run run;
    run_window(run, [] { return Lines{}; });
    const auto pv30 = std::find_if(run.steps.begin(), run.steps.end(), [](const Step& step) {
        return step.name == std::string("5: ") + KIND_NAMES[SOUND_YES];
    });
    check(pv30 != run.steps.end() &&
              pv30->messages.back() == message_text(MSG_UPDATE_SUCCEEDED),
          "hand-over: the window updates the bridges through the received nodes");
    return failed - failed_before;
}

void check_handover(const char* helper, int tcm_host, std::size_t bridges) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return check(false, "socketpair");
    const pid_t window = fork();
    if (window == 0) {
        close(ends[1]);
        _exit(play_window(ends[0], tcm_host, bridges));
    }
    close(ends[0]);
    const pid_t started = fork();
    if (started == 0) {
        if (dup2(ends[1], 0) == 0) execl(helper, helper, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[1]);
    int helper_status = -1;
    int window_status = -1;
    waitpid(started, &helper_status, 0);
    waitpid(window, &window_status, 0);
    check(helper_status == 0 && window_status == 0,
          "hand-over: the helper ends with 0, the window's process with no failed check");
}

int run(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvel-kernel-flash JOURNAL HELPER\n");
        return 2;
    }
    install_os_util_platform();
    const Lines bridges = write_files();
    Run simulated, kernel;
    run_simulated(simulated);
    install_os_platform();
    std::streamoff read = 0;
    const auto take_commands = [&] { return journal_since(argv[1], read); };
    run_window(kernel, take_commands);

    const auto host_caption = [&](int i) {
        return kernel.view.control(controls::BTN_Host_0 + i).caption;
    };
    check(host_caption(0) == "sym53c8xx" && host_caption(1) == "scsi_debug" &&
              kernel.tcm_host == 2 && !kernel.view.control(controls::BTN_Host_0 + 3).shown,
          "adapters: sym53c8xx, scsi_debug, then tcm_loop as host 2");
    bool identities = kernel.buttons.size() == bridges.size();
    for (std::size_t i = 0; identities && i < bridges.size(); ++i) {
        identities = kernel.buttons[i].starts_with(bridges[i] + " | ");
        std::printf("     %s\n", kernel.buttons[i].substr(0, kernel.buttons[i].find('\n')).c_str());
    }
    check(identities, "the scan shows every bridge with its target, family code and model text");
    check(kernel.buttons == simulated.buttons,
          "captions, pictures and hints as on the simulated bus");

    check(kernel.steps.size() == simulated.steps.size() && kernel.steps.size() == 1 + 3 * 10,
          "the same steps on both roads: a scan and three updates of each of ten families");
    for (std::size_t i = 0; i < std::min(kernel.steps.size(), simulated.steps.size()); ++i) {
        const Step& step = kernel.steps[i];
        Lines commands = step.commands;
        for (std::string& line : commands) line = line.substr(0, line.find(" in:"));
        const bool same =
            step.messages == simulated.steps[i].messages && commands == simulated.steps[i].commands;
        check(same, step.name + ": the same messages and commands as on the simulated bus");
        for (const Lines* road : {&simulated.steps[i].commands, &commands}) {
            for (std::size_t k = 0; !same && k < road->size(); ++k) {
                std::printf("     %s %s\n", road == &commands ? "kernel" : "sim   ",
                            (*road)[k].c_str());
            }
        }
        if (i > 0) check_update(step);
    }

    scsi_start();  // once more, for the timing alone
    take_commands();
    const double ring_us = mean_test_unit_ready_us(static_cast<std::uint8_t>(kernel.tcm_host), 2);
    const double debug_us = mean_test_unit_ready_us(SCSI_DEBUG_HOST, 0);
    const std::size_t through_ring = take_commands().size();
    scsi_stop();
    check(ring_us > 0 && debug_us > 0 && through_ring == TEST_UNIT_READY_COUNT,
          "every TEST UNIT READY completes, each one through the ring");
    std::printf(
        "     TEST UNIT READY, mean of %d: %.0f us through tcm_loop and the ring, %.0f us "
        "through scsi_debug\n",
        TEST_UNIT_READY_COUNT, ring_us, debug_us);

    check_handover(argv[2], kernel.tcm_host, bridges.size());
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}

}  // namespace
}  // namespace korvel

int main(int argc, char** argv) {
    return korvel::run(argc, argv);
}
