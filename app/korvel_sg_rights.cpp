#include "korvel_sg_rights.h"

#include <cstdio>

#include "lib_aspi.h"
#include "lib_aspi_bridge.h"
#include "linux_platform.h"
#include "linux_sg.h"
#include "linux_sg_handover.h"

namespace korvel {

namespace {

// The person may take a while over the password prompt; a helper that sends nothing for
// this long is given up.
constexpr int HANDOVER_WAIT_MS = 10 * 60 * 1000;

// Whether a bridge answers the scan through a node this user opens read-write himself.
bool bridge_reachable_read_write() {
    install_os_platform_over(&linux_scsi_generic_checked());
    const bool found = scsi_start() > 0 && find_bridge_nodes(nullptr, 0) > 0;
    scsi_stop();
    return found;
}

const char* outcome_text(SgRightsOutcome outcome) {
    switch (outcome) {
        case SgRightsOutcome::nothing:
            return "the helper handed over no bridge";
        case SgRightsOutcome::refused:
            return "pkexec refused or the password prompt was dismissed";
        case SgRightsOutcome::no_pkexec:
        default:
            return "pkexec could not be started";
    }
}

}  // namespace

void obtain_bridge_rights() {
    if (running_as_root()) return;
    const bool reachable = bridge_reachable_read_write();
    install_os_platform();
    if (reachable || !any_sg_node_present()) return;
    const SgRightsOutcome outcome = ask_pkexec_for_sg_nodes(SG_HELPER_PATH, HANDOVER_WAIT_MS);
    if (outcome == SgRightsOutcome::received) {
        install_os_platform_over(&received_sg_nodes());
        return;
    }
    std::fprintf(stderr, "korvel-update: no rights to the bridges: %s\n", outcome_text(outcome));
    install_os_platform_over(nullptr);
}

}  // namespace korvel
