// korvel-update-sg-helper: the one part of korvel-update that runs as root.
//
// The window starts it through pkexec when the user has no right to the bridges' sg nodes. It
// reads no argument, no environment and no file name: it looks at /dev/sg* only, opens each node
// read-write without following links, keeps only the sg driver's character devices, finds the
// KORVEL bridges among them with the window's own scan, and hands exactly those nodes, open,
// to the window over the socket that is its descriptor 0. Then it ends.
//
// Exit codes: 0 the hand-over was sent (possibly of no node), 1 a send failed, 2 descriptor 0
// is not the window's socket.
#include <cstdint>
#include <iterator>

#include "lib_aspi.h"
#include "lib_aspi_bridge.h"
#include "linux_platform.h"
#include "linux_sg.h"
#include "linux_sg_handover.h"

namespace {

// The bridges of one scan; more than any machine's adapters hold.
korvel::BridgeNode bridges[korvel::SG_HANDOVER_CAPACITY];

}  // namespace

int main() {
    const int socket = korvel::sg_handover_socket();
    if (socket < 0) return 2;
    korvel::install_os_platform_over(&korvel::linux_scsi_generic_checked());
    std::size_t found = 0;
    if (korvel::scsi_start() > 0) found = korvel::find_bridge_nodes(bridges, std::size(bridges));
    if (found > std::size(bridges)) found = std::size(bridges);
    std::uint32_t sent = 0;
    bool ok = true;
    for (std::size_t i = 0; i < found && ok; ++i) {
        ok = korvel::send_sg_node(socket, bridges[i].handle);
        if (ok) ++sent;
    }
    ok = ok && korvel::send_sg_handover_end(socket, sent);
    // The window holds its own copies of the descriptors now; ours close with the service.
    korvel::scsi_stop();
    return ok ? 0 : 1;
}
