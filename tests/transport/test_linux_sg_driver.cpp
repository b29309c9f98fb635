// The real sg driver seam on this machine, where no SCSI hardware is assumed: node names are
// recognised strictly, failures are reported as failures, and nothing is opened that is not
// closed again. The real kernel answers these, not a simulation.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "linux_sg.h"

namespace korvel {
namespace {

TEST(LinuxSgDriver, NodeNamesAreSgAndADecimalNumber) {
    std::uint32_t number = 99;
    EXPECT_TRUE(parse_sg_node_name("sg0", &number));
    EXPECT_EQ(number, 0u);
    EXPECT_TRUE(parse_sg_node_name("sg17", &number));
    EXPECT_EQ(number, 17u);
    EXPECT_TRUE(parse_sg_node_name("sg4294967295", &number));
    EXPECT_EQ(number, 4294967295u);

    number = 99;
    for (const char* name : {"sg", "sg01", "sg1a", "sga", "sg-1", "sg 1", "sda", "bsg",
                             "sg4294967296", "sg99999999999999999999", "", "Sg1"}) {
        EXPECT_FALSE(parse_sg_node_name(name, &number)) << name;
    }
    EXPECT_FALSE(parse_sg_node_name(nullptr, &number));
    EXPECT_EQ(number, 99u);
}

TEST(LinuxSgDriver, OnlyRequestsTheKernelWillNotTakeAreRefused) {
    EXPECT_EQ(sg_io_failure(EINVAL), SgIoOutcome::refused);
    EXPECT_EQ(sg_io_failure(ENOMEM), SgIoOutcome::refused);
    for (const int error : {EPERM, EACCES, EIO, ENODEV, ENXIO, EINTR, EBADF, EFAULT, ENOTTY}) {
        EXPECT_EQ(sg_io_failure(error), SgIoOutcome::failed) << error;
    }
}

TEST(LinuxSgDriver, ListedNodesAreSgNodesInAscendingOrder) {
    SgNodeName names[64];
    std::memset(names, 0x7F, sizeof names);
    const std::size_t count = linux_scsi_generic().list_nodes(names, 64);
    ASSERT_LE(count, 64u);
    std::uint32_t previous = 0;
    for (std::size_t i = 0; i < count; ++i) {
        ASSERT_NE(std::memchr(names[i].text, 0, sizeof names[i].text), nullptr);
        ASSERT_EQ(std::strncmp(names[i].text, "/dev/", 5), 0);
        std::uint32_t number = 0;
        ASSERT_TRUE(parse_sg_node_name(names[i].text + 5, &number)) << names[i].text;
        if (i > 0) {
            EXPECT_GT(number, previous);
        }
        previous = number;
    }
    // No room: nothing is written.
    EXPECT_EQ(linux_scsi_generic().list_nodes(names, 0), 0u);
}

TEST(LinuxSgDriver, ANodeThatDoesNotExistDoesNotOpen) {
    EXPECT_EQ(linux_scsi_generic().open_node("/dev/sg-not-there", OpenAccess::read_write), 0u);
    EXPECT_EQ(linux_scsi_generic().open_node("/dev/sg-not-there", OpenAccess::read), 0u);
}

TEST(LinuxSgDriver, AFileThatIsNotAnSgNodeAnswersNeitherIoctl) {
    // /dev/null opens, but is no SCSI device: both calls must fail, not invent an answer.
    LinuxScsiGeneric& driver = linux_scsi_generic();
    const OsHandle node = driver.open_node("/dev/null", OpenAccess::read);
    ASSERT_NE(node, 0u);
    SgScsiId id;
    id.host_no = 77;
    EXPECT_FALSE(driver.scsi_id(node, id));
    EXPECT_EQ(id.host_no, 77);

    std::uint8_t data[36] = {};
    PassThroughRequest request;
    request.cdb_length = 6;
    request.cdb[0] = 0x12;
    request.cdb[4] = 36;
    request.data_in = 1;
    request.data_transfer_length = sizeof data;
    request.data_buffer = data;
    request.sense_info_length = 14;
    request.timeout_seconds = 0xFFFF;
    SgTransportStatus transport;
    EXPECT_EQ(driver.sg_io(node, request, transport), SgIoOutcome::failed);  // ENOTTY
    driver.close_node(node);
}

TEST(LinuxSgDriver, AHostThatDoesNotExistHasNoDriverName) {
    std::uint8_t name[32];
    std::uint32_t length = 99;
    EXPECT_FALSE(linux_scsi_generic().host_proc_name(4000000000u, name, sizeof name, &length));
    EXPECT_EQ(length, 0u);
}

TEST(LinuxSgDriver, ClosingNoHandleIsHarmless) {
    linux_scsi_generic().close_node(0);
    SUCCEED();
}

}  // namespace
}  // namespace korvel
