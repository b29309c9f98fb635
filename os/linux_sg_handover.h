// Open sg nodes handed from a program running as root to the window running as the user.
//
// The window starts `pkexec` with the helper's path; pkexec passes on descriptors 0 to 2 only,
// so the window's end of a Unix socket pair (SOCK_SEQPACKET: one message per node) becomes the
// helper's descriptor 0. The helper sends one message per bridge node: a record with the node's
// host, channel, target and LUN and the node's descriptor (SCM_RIGHTS), then an end record. The
// window trusts nothing of it: a record of the wrong size, a message whose descriptors did not
// all arrive, a descriptor that is not an sg node or whose SG_GET_SCSI_ID differs from its
// record is closed and forgotten.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform_seam.h"

namespace korvel {

/// One message of the hand-over, in the byte order of the machine (both ends are on it).
struct SgHandoverRecord {
    std::uint32_t kind;     ///< SG_HANDOVER_NODE or SG_HANDOVER_END
    std::uint32_t host;     ///< the node's address; in the end record, the number of nodes sent
    std::uint32_t channel;
    std::uint32_t target;
    std::uint32_t lun;
};
static_assert(sizeof(SgHandoverRecord) == 20);

inline constexpr std::uint32_t SG_HANDOVER_NODE = 0x4B53474E;  // "KSGN"
inline constexpr std::uint32_t SG_HANDOVER_END = 0x4B534745;   // "KSGE"

/// Most nodes one hand-over carries; further ones are closed unused.
inline constexpr std::size_t SG_HANDOVER_CAPACITY = 128;

/// Where the helper installs: the only program the window asks pkexec to run.
extern const char* const SG_HELPER_PATH;

// --- The helper's side ---------------------------------------------------------------------

/// The descriptor the hand-over goes out on: 0 when it is a SOCK_SEQPACKET Unix socket, else -1.
int sg_handover_socket();
/// Sends one node (a handle of the checked sg driver) with the address SG_GET_SCSI_ID gives it;
/// false when it is not an sg node, the driver does not answer, or the send fails.
bool send_sg_node(int socket, OsHandle node);
/// Sends the end record, which says how many nodes were sent.
bool send_sg_handover_end(int socket, std::uint32_t count);

// --- The window's side -----------------------------------------------------------------------

/// What one hand-over brought.
struct SgHandoverResult {
    std::size_t accepted = 0;  ///< nodes kept in the received table
    std::size_t refused = 0;   ///< messages (and their descriptors) thrown away
    bool ended = false;        ///< the end record arrived
    bool timed_out = false;    ///< no message came within the wait
};

/// Reads the hand-over from `socket` into the received table (emptied first) until the end
/// record, the socket's end, an error, or `timeout_ms` without a message.
SgHandoverResult receive_sg_nodes(int socket, int timeout_ms);

/// The sg driver over the received nodes: it lists /dev as the real one, opens a node only
/// as a copy of its received descriptor, and does everything else as the real driver.
LinuxScsiGeneric& received_sg_nodes();
/// Closes every received descriptor and empties the table.
void forget_received_sg_nodes();

/// How asking pkexec ended.
enum class SgRightsOutcome : std::uint8_t {
    received,   ///< pkexec ended with 0 and at least one node was kept
    nothing,    ///< the helper ran but handed over no node it could keep
    refused,    ///< pkexec refused: prompt dismissed (126), not authorised or failed (127)
    no_pkexec,  ///< no pkexec on the PATH, or it could not be started
};

/// Runs `pkexec <helper_path>` (pkexec found on the PATH; nothing else on its command line and
/// a fixed environment), with the socket as its descriptor 0, and receives what the helper
/// sends. Waits at most `timeout_ms` for each message (the person may be typing the password).
SgRightsOutcome ask_pkexec_for_sg_nodes(const char* helper_path, int timeout_ms);

}  // namespace korvel
