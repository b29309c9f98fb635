// The hand-over of the bridges' sg nodes through the real kernel, inside the QEMU guest after
// korvel-kernel-flash, while korvel-tcmu-bridges still serves the bus of kernel_bus.h on host 2.
// Run as root, it starts the helper the way pkexec does (the socket as descriptor 0) and, in a
// second process that has dropped to an ordinary user's uid, plays the window: that process
// opens no sg node itself, receives the nodes, finds among them exactly the bridges served on
// tcm_loop (not the scsi_debug disk, not the emulated disk or CD-ROM drive, not the ordinary
// disk among the bridges), sees every adapter, and updates a bridge through what it received.
//
//   korvel-kernel-handover HELPER    HELPER is the helper program to start
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "firmware_images.h"
#include "kernel_bus.h"
#include "korvel_main_form.h"
#include "korvel_msg.h"
#include "lib_aspi.h"
#include "lib_aspi_bridge.h"
#include "linux_platform.h"
#include "linux_sg_handover.h"
#include "linux_util_platform.h"
#include "nt_emulation.h"
#include "sim_bridge.h"
#include "sim_main_view.h"

namespace korvel {
namespace {

using namespace kernel_bus;

constexpr uid_t NOBODY = 65534;
constexpr std::uint8_t TCM_LOOP_HOST = 2;
constexpr std::int32_t UPDATED_FAMILY = 5;  // PV30
constexpr const char* FIRMWARE_FILE = "/tmp/handover-sound.bin";

int passed = 0;
int failed = 0;

void check(bool ok, const std::string& what) {
    ++(ok ? passed : failed);
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
}

// Whether this process can open any /dev/sg* node, for reading or writing.
bool opens_any_sg_node() {
    DIR* dev = opendir("/dev");
    bool opened = false;
    while (const dirent* entry = dev != nullptr ? readdir(dev) : nullptr) {
        if (std::strncmp(entry->d_name, "sg", 2) != 0) continue;
        const std::string path = std::string("/dev/") + entry->d_name;
        for (const int mode : {O_RDWR, O_RDONLY}) {
            const int fd = open(path.c_str(), mode | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                opened = true;
                close(fd);
            }
        }
    }
    if (dev != nullptr) closedir(dev);
    return opened;
}

std::size_t bridge_slots() {
    std::size_t count = 0;
    for (const Slot& slot : SLOTS) count += slot.family_code != ORDINARY_DISK;
    return count;
}

// The window's part, as the ordinary user.
int play_window(int socket) {
    check(setgroups(0, nullptr) == 0 && setgid(NOBODY) == 0 && setuid(NOBODY) == 0 &&
              getuid() == NOBODY && geteuid() == NOBODY,
          "the window's process runs as an ordinary user");
    check(!opens_any_sg_node(), "as that user it opens no sg node itself");

    const SgHandoverResult result = receive_sg_nodes(socket, 60000);
    check(result.ended && result.refused == 0 && result.accepted == bridge_slots(),
          "it receives " + std::to_string(result.accepted) + " nodes, one per bridge served (" +
              std::to_string(bridge_slots()) + "), and nothing it must refuse");

    install_os_platform_over(&received_sg_nodes());
    BridgeNode bridges[SG_HANDOVER_CAPACITY] = {};
    bool only_bridges = scsi_start() == 3;
    const std::size_t found = find_bridge_nodes(bridges, SG_HANDOVER_CAPACITY);
    only_bridges = only_bridges && found == bridge_slots();
    // Every device the service can reach at all, bridge or not.
    std::size_t reachable = 0;
    for (std::uint32_t host = 0; host < MAX_HOSTS; ++host)
        for (std::uint32_t target = 0; target < MAX_TARGETS; ++target)
            for (std::uint32_t lun = 0; lun < MAX_LUNS; ++lun)
                if (device_slot(host, target, lun).handle != 0) {
                    ++reachable;
                    only_bridges = only_bridges && host == TCM_LOOP_HOST;
                }
    only_bridges = only_bridges && reachable == bridge_slots();
    char name[ADAPTER_IDENTIFIER_CAPACITY];
    std::string adapters;
    for (int host = 0; host < adapter_count(); ++host) {
        adapter_identifier(static_cast<std::uint8_t>(host), name);
        adapters += std::string(name) + " ";
    }
    scsi_stop();
    check(only_bridges, "every device it can reach is a bridge on tcm_loop; no disk, CD-ROM or "
                        "scsi_debug node came over");
    check(adapters == "sym53c8xx scsi_debug tcm_loopback ",
          "the adapters as root sees them: " + adapters);

    // An update through the received nodes, as the window runs it.
    SimMainView view;
    SimPerson person;
    install_user_interface(&person);
    MainForm form(view);
    form.FormCreate("korvel-kernel-handover");
    form.FormShow();
    form.BTN_Host_0Click(TCM_LOOP_HOST);
    int button = -1;
    for (int i = 0; i < form.target_count(); ++i) {
        if (form.target_record(i).family_code == UPDATED_FAMILY) button = i;
    }
    bool updated = button >= 0;
    if (updated) {
        form.BTN_Target_0Click(button);
        view.file_to_choose = FIRMWARE_FILE;
        person.answers = {ID_YES};
        person.messages.clear();
        form.BTN_UpdateKORVELClick();
        updated = !person.messages.empty() &&
                  person.messages.back().text == message_text(MSG_UPDATE_SUCCEEDED);
    }
    form.FormClose();
    check(updated, "a PV30 bridge is updated through the received node");
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}

int run(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvel-kernel-handover HELPER\n");
        return 2;
    }
    install_os_util_platform();
    for (const Slot& slot : SLOTS) {
        if (slot.family_code != UPDATED_FAMILY) continue;
        const auto device = make_device(slot);
        const auto* bridge = dynamic_cast<const SimBridge*>(device.get());
        firmware_images::save_file(
            FIRMWARE_FILE, firmware_images::sound_file(slot.family_code,
                                                       bridge->profile().model_text,
                                                       bridge->inquiry_data()));
    }
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return 1;
    const pid_t window = fork();
    if (window == 0) {
        close(ends[1]);
        _exit(play_window(ends[0]));
    }
    close(ends[0]);
    const pid_t helper = fork();
    if (helper == 0) {
        if (dup2(ends[1], 0) == 0) execl(argv[1], argv[1], static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[1]);
    int helper_status = 0;
    int window_status = 0;
    waitpid(helper, &helper_status, 0);
    waitpid(window, &window_status, 0);
    std::printf("helper exit code %d\n", WIFEXITED(helper_status) ? WEXITSTATUS(helper_status) : -1);
    return WIFEXITED(helper_status) && WEXITSTATUS(helper_status) == 0 &&
                   WIFEXITED(window_status) && WEXITSTATUS(window_status) == 0
               ? 0
               : 1;
}

}  // namespace
}  // namespace korvel

int main(int argc, char** argv) { return korvel::run(argc, argv); }
