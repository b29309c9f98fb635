#include "linux_sg_handover.h"

#include <fcntl.h>
#include <poll.h>
#include <scsi/sg.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "linux_sg.h"

namespace korvel {

// Set by the build (KORVEL_SG_HELPER_PATH), the same path the package installs the helper at.
const char* const SG_HELPER_PATH = KORVEL_SG_HELPER_PATH;

namespace {

// One received node: its descriptor, the sg node number it is, and the address it reported.
struct ReceivedNode {
    int fd;
    int number;
};

// The received table, filled by one hand-over for the rest of the run.
ReceivedNode received[SG_HANDOVER_CAPACITY];
std::size_t received_count = 0;

// Room for the descriptors of one message: a sender that puts in more finds them cut off
// (MSG_CTRUNC), and the message is refused.
union ControlBuffer {
    char bytes[CMSG_SPACE(sizeof(int))];
    cmsghdr align;
};

// The exit code of a child that could not start pkexec (pkexec's own for a failure).
constexpr int PKEXEC_FAILED = 127;

// How long the window waits for pkexec to end once the helper's socket has closed.
constexpr int EXIT_WAIT_MS = 5000;
constexpr int EXIT_POLL_MS = 10;

// The environment pkexec runs in: nothing of the user's.
char fixed_path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
char* const fixed_environment[] = {fixed_path, nullptr};

// Room for one candidate path of pkexec.
constexpr std::size_t PROGRAM_PATH_CAPACITY = 4096;

void close_descriptor(int fd) {
    if (fd >= 0) ::close(fd);
}

bool read_scsi_id(int fd, sg_scsi_id& answer) {
    answer = {};
    return ::ioctl(fd, SG_GET_SCSI_ID, &answer) == 0;
}

bool send_record(int socket, const SgHandoverRecord& record, int fd) {
    SgHandoverRecord copy = record;
    iovec data{&copy, sizeof copy};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    ControlBuffer control{};
    if (fd >= 0) {
        message.msg_control = control.bytes;
        message.msg_controllen = sizeof control.bytes;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    }
    for (;;) {
        const ssize_t sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        return sent == static_cast<ssize_t>(sizeof copy);
    }
}

// Closes every descriptor a message carried, from the first one on.
void close_carried(const msghdr& message, std::size_t from) {
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(const_cast<msghdr*>(&message), header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS ||
            header->cmsg_len < CMSG_LEN(0)) {
            continue;
        }
        const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = from; i < count; ++i) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
            close_descriptor(fd);
        }
        from = 0;
    }
}

// The one descriptor a message carried, or -1 when it carried none or more than one (those
// are closed).
int single_carried(const msghdr& message) {
    const cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (header == nullptr) return -1;
    if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS ||
        header->cmsg_len != CMSG_LEN(sizeof(int)) ||
        CMSG_NXTHDR(const_cast<msghdr*>(&message), const_cast<cmsghdr*>(header)) != nullptr) {
        close_carried(message, 0);
        return -1;
    }
    int fd = -1;
    std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    return fd;
}

// Keeps a node when it is an sg node at the address its record names and there is room.
bool keep_node(int fd, const SgHandoverRecord& record) {
    const int number = sg_device_number(fd);
    sg_scsi_id answer{};
    const bool same_address =
        number >= 0 && read_scsi_id(fd, answer) &&
        static_cast<std::uint32_t>(answer.host_no) == record.host &&
        static_cast<std::uint32_t>(answer.channel) == record.channel &&
        static_cast<std::uint32_t>(answer.scsi_id) == record.target &&
        static_cast<std::uint32_t>(answer.lun) == record.lun;
    if (!same_address || received_count >= SG_HANDOVER_CAPACITY) return false;
    for (std::size_t i = 0; i < received_count; ++i) {
        if (received[i].number == number) return false;  // one descriptor per node
    }
    received[received_count++] = {fd, number};
    return true;
}

// Waits for one message; false on timeout or error.
bool wait_readable(int socket, int timeout_ms) {
    pollfd watch{socket, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&watch, 1, timeout_ms);
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0;
    }
}

// Finds `name` in a directory of the PATH; writes the whole path into `path`.
bool find_on_path(const char* name, char* path, std::size_t capacity) {
    const char* search = std::getenv("PATH");
    if (search == nullptr || search[0] == '\0') search = "/usr/bin:/bin";
    for (const char* start = search;;) {
        const char* end = std::strchr(start, ':');
        const std::size_t length = end != nullptr ? static_cast<std::size_t>(end - start)
                                                  : std::strlen(start);
        // An empty entry would mean the current folder: never looked in.
        if (length > 0 && start[0] == '/') {
            const int written = std::snprintf(path, capacity, "%.*s/%s",
                                              static_cast<int>(length), start, name);
            if (written > 0 && static_cast<std::size_t>(written) < capacity &&
                ::access(path, X_OK) == 0) {
                return true;
            }
        }
        if (end == nullptr) return false;
        start = end + 1;
    }
}

// pkexec's exit status, or -1 when it did not end by itself within the wait (it is then
// left to end on its own: a program running as root cannot be stopped from here).
int wait_for_exit(pid_t child, int wait_ms) {
    for (int waited = 0;; waited += EXIT_POLL_MS) {
        int status = 0;
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended < 0 && errno == EINTR) continue;
        if (ended < 0) return -1;
        if (ended == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (waited >= wait_ms) {
            ::kill(child, SIGTERM);
            return -1;
        }
        ::usleep(EXIT_POLL_MS * 1000);
    }
}

class ReceivedSgNodes final : public LinuxScsiGeneric {
public:
    std::size_t list_nodes(SgNodeName* names, std::size_t capacity) override {
        return linux_scsi_generic().list_nodes(names, capacity);
    }

    OsHandle open_node(const char* name, OpenAccess /*access*/) override {
        const char* slash = std::strrchr(name, '/');
        std::uint32_t number = 0;
        if (slash == nullptr || !parse_sg_node_name(slash + 1, &number)) return 0;
        for (std::size_t i = 0; i < received_count; ++i) {
            if (static_cast<std::uint32_t>(received[i].number) != number) continue;
            return sg_node_handle(::fcntl(received[i].fd, F_DUPFD_CLOEXEC, 3));
        }
        return 0;
    }

    bool scsi_id(OsHandle node, SgScsiId& id) override {
        return linux_scsi_generic().scsi_id(node, id);
    }

    SgIoOutcome sg_io(OsHandle node, PassThroughRequest& request,
                      SgTransportStatus& transport) override {
        return linux_scsi_generic().sg_io(node, request, transport);
    }

    bool host_proc_name(std::uint32_t host, std::uint8_t* buffer, std::uint32_t capacity,
                        std::uint32_t* length) override {
        return linux_scsi_generic().host_proc_name(host, buffer, capacity, length);
    }

    void close_node(OsHandle node) override { linux_scsi_generic().close_node(node); }

    bool node_address(const char* name, SgScsiId& id) override {
        return linux_scsi_generic().node_address(name, id);
    }
};

ReceivedSgNodes received_driver;

}  // namespace

int sg_handover_socket() {
    int type = 0;
    socklen_t length = sizeof type;
    struct stat status {};
    if (::fstat(0, &status) != 0 || !S_ISSOCK(status.st_mode) ||
        ::getsockopt(0, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_SEQPACKET) {
        return -1;
    }
    return 0;
}

bool send_sg_node(int socket, OsHandle node) {
    const int fd = sg_node_descriptor(node);
    sg_scsi_id answer{};
    if (sg_device_number(fd) < 0 || !read_scsi_id(fd, answer)) return false;
    const SgHandoverRecord record{SG_HANDOVER_NODE, static_cast<std::uint32_t>(answer.host_no),
                                  static_cast<std::uint32_t>(answer.channel),
                                  static_cast<std::uint32_t>(answer.scsi_id),
                                  static_cast<std::uint32_t>(answer.lun)};
    return send_record(socket, record, fd);
}

bool send_sg_handover_end(int socket, std::uint32_t count) {
    return send_record(socket, {SG_HANDOVER_END, count, 0, 0, 0}, -1);
}

SgHandoverResult receive_sg_nodes(int socket, int timeout_ms) {
    forget_received_sg_nodes();
    SgHandoverResult result;
    // Every message but the end one carries a node: a sender that never ends is cut off after
    // as many messages as the table could ever take.
    for (std::size_t messages = 0; messages <= 2 * SG_HANDOVER_CAPACITY; ++messages) {
        if (!wait_readable(socket, timeout_ms)) {
            result.timed_out = true;
            break;
        }
        // One byte more than a record, so that a longer message shows as cut (MSG_TRUNC).
        unsigned char bytes[sizeof(SgHandoverRecord) + 1] = {};
        iovec data{bytes, sizeof bytes};
        ControlBuffer control{};
        msghdr message{};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control.bytes;
        message.msg_controllen = sizeof control.bytes;
        const ssize_t got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // the helper's end closed, or an error
        const bool whole = (message.msg_flags & (MSG_CTRUNC | MSG_TRUNC)) == 0 &&
                           got == static_cast<ssize_t>(sizeof(SgHandoverRecord));
        const int fd = whole ? single_carried(message) : -1;
        if (!whole) close_carried(message, 0);
        SgHandoverRecord record{};
        std::memcpy(&record, bytes, sizeof record);
        if (whole && record.kind == SG_HANDOVER_END && fd < 0) {
            result.ended = true;
            break;
        }
        if (whole && record.kind == SG_HANDOVER_NODE && fd >= 0 && keep_node(fd, record)) {
            ++result.accepted;
            continue;
        }
        close_descriptor(fd);
        ++result.refused;
    }
    return result;
}

LinuxScsiGeneric& received_sg_nodes() { return received_driver; }

void forget_received_sg_nodes() {
    for (std::size_t i = 0; i < received_count; ++i) close_descriptor(received[i].fd);
    received_count = 0;
}

SgRightsOutcome ask_pkexec_for_sg_nodes(const char* helper_path, int timeout_ms) {
    char pkexec[PROGRAM_PATH_CAPACITY];
    if (!find_on_path("pkexec", pkexec, sizeof pkexec)) return SgRightsOutcome::no_pkexec;
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        return SgRightsOutcome::no_pkexec;
    }
    // Built before the fork: the child only duplicates one descriptor and runs pkexec.
    char program[] = "pkexec";
    char* const arguments[] = {program, const_cast<char*>(helper_path), nullptr};
    const pid_t child = ::fork();
    if (child == 0) {
        // dup2 leaves the copy without close-on-exec: the helper's end becomes descriptor 0.
        if (::dup2(ends[1], 0) == 0) ::execve(pkexec, arguments, fixed_environment);
        ::_exit(PKEXEC_FAILED);
    }
    ::close(ends[1]);
    if (child < 0) {
        ::close(ends[0]);
        return SgRightsOutcome::no_pkexec;
    }
    const SgHandoverResult result = receive_sg_nodes(ends[0], timeout_ms);
    ::close(ends[0]);
    // Unless the wait ran out, the socket's end came from a helper (or pkexec) that is ending.
    const int status = wait_for_exit(child, result.timed_out ? 0 : EXIT_WAIT_MS);
    if (status != 0) {
        forget_received_sg_nodes();
        // 126: the prompt was dismissed; 127: not authorised, no agent, or pkexec failed.
        return status > 0 ? SgRightsOutcome::refused : SgRightsOutcome::nothing;
    }
    if (!result.ended || result.accepted == 0) {
        forget_received_sg_nodes();
        return SgRightsOutcome::nothing;
    }
    return SgRightsOutcome::received;
}

}  // namespace korvel
