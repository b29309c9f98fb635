// The hand-over of open sg nodes from the root helper to the window: the window's receiving end
// over a socket pair in this process, and the start of pkexec through a stand-in on the PATH.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include "linux_sg_handover.h"

namespace korvel {
namespace {

std::size_t open_descriptors() {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

// One message of `length` bytes carrying the given descriptors.
void send_message(int socket, const void* bytes, std::size_t length,
                  std::initializer_list<int> fds) {
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))] = {};
    iovec data{const_cast<void*>(bytes), length};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    if (fds.size() > 0) {
        message.msg_control = control;
        message.msg_controllen = CMSG_SPACE(fds.size() * sizeof(int));
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(fds.size() * sizeof(int));
        std::memcpy(CMSG_DATA(header), fds.begin(), fds.size() * sizeof(int));
    }
    ASSERT_EQ(sendmsg(socket, &message, 0), static_cast<ssize_t>(length));
}

TEST(SgHandover, OnlyWholeRecordsWithOneSgNodeAreKeptAndEverythingElseIsClosed) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
    const std::size_t before = open_descriptors();
    const SgHandoverRecord node{SG_HANDOVER_NODE, 0, 0, 0, 0};
    const int null_device = open("/dev/null", O_RDWR | O_CLOEXEC);
    int pipe_ends[2];
    ASSERT_EQ(pipe2(pipe_ends, O_CLOEXEC), 0);
    send_message(ends[1], &node, sizeof node, {null_device});      // a character device, not sg
    send_message(ends[1], &node, sizeof node, {pipe_ends[0]});     // not a device at all
    send_message(ends[1], &node, sizeof node, {null_device, pipe_ends[1]});  // more than one
    send_message(ends[1], &node, sizeof node - 1, {null_device});  // a record cut short
    unsigned char longer[sizeof node + 8] = {};
    std::memcpy(longer, &node, sizeof node);
    send_message(ends[1], longer, sizeof longer, {null_device});   // a longer one
    send_message(ends[1], &node, sizeof node, {});                 // no descriptor
    const SgHandoverRecord end{SG_HANDOVER_END, 6, 0, 0, 0};
    send_message(ends[1], &end, sizeof end, {});
    close(null_device);
    close(pipe_ends[0]);
    close(pipe_ends[1]);

    const SgHandoverResult result = receive_sg_nodes(ends[0], 2000);
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(result.accepted, 0u);
    EXPECT_EQ(result.refused, 6u);
    EXPECT_EQ(received_sg_nodes().open_node("/dev/sg0", OpenAccess::read_write), 0u);
    // Every descriptor that came in was closed again: only the socket pair is left.
    EXPECT_EQ(open_descriptors(), before);
    close(ends[1]);
    // The sender's end gone without an end record: no hand-over, and no wait.
    EXPECT_FALSE(receive_sg_nodes(ends[0], 2000).ended);
    close(ends[0]);
}

// A stand-in pkexec in a folder put first on the PATH.
TEST(StandInPkexec, GetsTheHelpersPathAloneAndNothingComesOfARefusalOrAnEmptyHandOver) {
    char pattern[] = "/tmp/korvel-pkexec-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern, stand_in = folder + "/pkexec", path = std::getenv("PATH");
    const auto write_stand_in = [&](const std::string& body) {
        std::ofstream(stand_in) << "#!/bin/sh\n" << body;
        chmod(stand_in.c_str(), 0755);
    };
    const auto read_back = [&](const char* name) {
        std::ostringstream text;
        text << std::ifstream(folder + "/" + name).rdbuf();
        return text.str();
    };
    setenv("PATH", (folder + ":" + path).c_str(), 1);
    setenv("KORVEL_FROM_THE_USER", "1", 1);  // the user's environment must not reach pkexec

    // The prompt dismissed: 126.
    write_stand_in("printf '%s\\n' \"$@\" > " + folder + "/arguments\n" +
                   "tr '\\0' '\\n' < /proc/$$/environ > " + folder + "/environment\nexit 126\n");
    EXPECT_EQ(ask_pkexec_for_sg_nodes(SG_HELPER_PATH, 5000), SgRightsOutcome::refused);
    EXPECT_EQ(read_back("arguments"), std::string(SG_HELPER_PATH) + "\n");
    EXPECT_EQ(read_back("environment"), "PATH=/usr/sbin:/usr/bin:/sbin:/bin\n");

    // The built helper behind it, on a machine without bridges: an empty hand-over. Started
    // any other way (descriptor 0 not its socket) it sends nothing and ends with 2.
    write_stand_in("exec \"$1\"\n");
    EXPECT_EQ(ask_pkexec_for_sg_nodes(KORVEL_SG_HELPER_BUILT, 20000), SgRightsOutcome::nothing);
    EXPECT_EQ(std::system(KORVEL_SG_HELPER_BUILT " < /dev/null"), 2 << 8);

    std::filesystem::remove_all(folder);
    setenv("PATH", folder.c_str(), 1);
    EXPECT_EQ(ask_pkexec_for_sg_nodes(SG_HELPER_PATH, 5000), SgRightsOutcome::no_pkexec);
    setenv("PATH", path.c_str(), 1);
    unsetenv("KORVEL_FROM_THE_USER");
}

}  // namespace
}  // namespace korvel
