// The hand-over of open sg nodes from the root helper to the window: the window's receiving end
// over a socket pair in this process, and the start of pkexec through a stand-in on the PATH.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include "linux_sg.h"
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

class StandInPkexec : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvel-pkexec-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        saved_path_ = std::getenv("PATH");
        setenv("PATH", (folder_ + ":" + saved_path_).c_str(), 1);
        // Something of the user's that must not reach pkexec.
        setenv("KORVEL_FROM_THE_USER", "1", 1);
    }
    void TearDown() override {
        setenv("PATH", saved_path_.c_str(), 1);
        unsetenv("KORVEL_FROM_THE_USER");
        std::filesystem::remove_all(folder_);
    }

    void write_stand_in(const std::string& body) {
        const std::string path = folder_ + "/pkexec";
        std::ofstream(path) << "#!/bin/sh\n" << body;
        chmod(path.c_str(), 0755);
    }

    std::string read_back(const std::string& name) {
        std::ostringstream text;
        text << std::ifstream(folder_ + "/" + name).rdbuf();
        return text.str();
    }

    std::string folder_;
    std::string saved_path_;
};

TEST_F(StandInPkexec, GetsTheHelpersPathAloneAndADismissedPromptHandsOverNothing) {
    write_stand_in("printf '%s\\n' \"$@\" > " + folder_ + "/arguments\n" +
                   "tr '\\0' '\\n' < /proc/$$/environ > " + folder_ + "/environment\nexit 126\n");
    EXPECT_EQ(ask_pkexec_for_sg_nodes(SG_HELPER_PATH, 5000), SgRightsOutcome::refused);
    EXPECT_EQ(read_back("arguments"), std::string(SG_HELPER_PATH) + "\n");
    EXPECT_EQ(read_back("environment"), "PATH=/usr/sbin:/usr/bin:/sbin:/bin\n");

    std::filesystem::remove(folder_ + "/pkexec");
    setenv("PATH", folder_.c_str(), 1);
    EXPECT_EQ(ask_pkexec_for_sg_nodes(SG_HELPER_PATH, 5000), SgRightsOutcome::no_pkexec);
}

TEST_F(StandInPkexec, TheHelperAnswersOnlyOverItsSocket) {
    // The real helper behind the stand-in: on a machine without bridges it ends the hand-over
    // empty, and the window gets nothing.
    write_stand_in("exec \"$1\"\n");
    EXPECT_EQ(ask_pkexec_for_sg_nodes(KORVEL_SG_HELPER_BUILT, 20000), SgRightsOutcome::nothing);
    // Started any other way (descriptor 0 not a socket) it does nothing at all.
    const int status = std::system(KORVEL_SG_HELPER_BUILT " < /dev/null");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

TEST(SysfsAddress, OnlyFourBoundedNumbersAreAnAddress) {
    SgScsiId id;
    ASSERT_TRUE(parse_scsi_address_text("2:0:5:0", 7, id));
    EXPECT_EQ(id.host_no, 2);
    EXPECT_EQ(id.scsi_id, 5);
    for (const char* bad : {"2:0:5", "2:0:5:0:1", "2:0:5:", ":0:5:0", "2:0:x:0", "1234567890:0:0:0",
                            "2:0:5:0 ", "target2:0:5"}) {
        EXPECT_FALSE(parse_scsi_address_text(bad, std::strlen(bad), id)) << bad;
    }
    // Exactly `length` bytes are read: a longer text is cut where the caller says.
    EXPECT_TRUE(parse_scsi_address_text("2:0:5:0:garbage", 7, id));
}

}  // namespace
}  // namespace korvel
