// Execute requests carried out as SG_IO calls: what reaches the driver, and how status, sense
// and transport errors come back into the request block.
#include "linux_sg_fixture.h"

namespace korvel {
namespace {

// The block with guard bytes behind it, so a write past its end shows.
struct GuardedExec {
    SRB_ExecSCSICmd srb;
    std::uint8_t after[64];
};

// Host and driver statuses of the Linux midlayer (DID_*, DRIVER_*).
constexpr std::uint16_t DID_NO_CONNECT = 0x01;
constexpr std::uint16_t DID_TIME_OUT = 0x03;
constexpr std::uint16_t DRIVER_ERROR = 0x04;
constexpr std::uint16_t DRIVER_TIMEOUT = 0x06;
constexpr std::uint16_t SUGGEST_RETRY = 0x10;

class LinuxSgExec : public LinuxSgTest {
protected:
    void SetUp() override {
        LinuxSgTest::SetUp();
        disk_node = sg.add_device(0, 0, 2, 0, disk);
        bridge_node = sg.add_device(0, 1, 5, 0, bridge);  // a secondary channel: host 1
        ASSERT_EQ(start(), 0x0102u);
    }

    GuardedExec request(std::uint8_t host, std::uint8_t target,
                        const std::vector<std::uint8_t>& cdb, std::uint8_t flags = SRB_DIR_IN,
                        std::uint32_t length = 36) {
        GuardedExec block;
        std::memset(block.after, 0xCC, sizeof block.after);
        block.srb = exec_request(host, target, 0, cdb, flags, data, length);
        return block;
    }

    static void expect_guard_intact(const GuardedExec& block) {
        for (std::uint8_t byte : block.after) ASSERT_EQ(byte, 0xCC);
    }

    // The made-up fixed-format sense: 0x70, 0, key, then zeros up to 14 bytes.
    static void expect_made_up_sense(const SRB_ExecSCSICmd& srb, std::uint8_t key) {
        std::uint8_t expected[14] = {0x70, 0x00, key};
        EXPECT_EQ(std::memcmp(srb.SenseArea, expected, sizeof expected), 0);
    }

    std::shared_ptr<SimDevice> disk = make_disk();
    std::shared_ptr<SimDevice> bridge = make_device_of_type(SIM_TYPE_PROCESSOR);
    std::string disk_node;
    std::string bridge_node;
    std::uint8_t data[65536] = {};
    const std::vector<std::uint8_t> inquiry{0x12, 0, 0, 0, 36, 0};
    const std::vector<std::uint8_t> write_buffer{0x3B, 0x17, 0x78, 0, 0, 0, 0, 0x10, 0, 0};
};

TEST_F(LinuxSgExec, GoodStatusCompletesWithTheData) {
    GuardedExec block = request(0, 2, inquiry);
    block.srb.SRB_HaStat = 0x33;
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_COMP);
    EXPECT_EQ(block.srb.SRB_Status, SS_COMP);
    EXPECT_EQ(block.srb.SRB_TargStat, 0);
    EXPECT_EQ(block.srb.SRB_HaStat, 0);
    EXPECT_EQ(block.srb.SRB_BufLen, 36u);  // no residual
    EXPECT_EQ(std::memcmp(data + 8, "SEAGATE ", 8), 0);
    expect_guard_intact(block);
}

TEST_F(LinuxSgExec, TheRequestReachesTheDriverAsSent) {
    for (std::size_t i = 0; i < 4096; ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    GuardedExec block = request(1, 5, write_buffer, SRB_DIR_OUT, 4096);
    aspi_send_and_wait(&block.srb);  // an ordinary device rejects it; only its way counts here

    const PassThroughRequest& sent = sg.last_request();
    EXPECT_EQ(sent.cdb_length, 10);
    EXPECT_EQ(std::vector<std::uint8_t>(sent.cdb, sent.cdb + 10), write_buffer);
    EXPECT_EQ(sent.data_in, 0);
    EXPECT_EQ(sent.data_transfer_length, 4096u);
    EXPECT_EQ(sent.data_buffer, data);  // the caller's buffer itself, no copy
    EXPECT_EQ(sent.sense_info_length, 14);
    EXPECT_EQ(sent.path_id, 1);

    const std::vector<SimJournalEntry> journal = bridge->journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal.back().direction, SimDirection::out);
    EXPECT_EQ(journal.back().data_out, std::vector<std::uint8_t>(data, data + 4096));
    EXPECT_EQ(journal.back().address.port, 0);  // kernel host 0, channel 1
    EXPECT_EQ(journal.back().address.path_id, 1);
}

TEST_F(LinuxSgExec, ACommandWithoutDataGoesWithoutADataPhase) {
    GuardedExec block = request(0, 2, {0x00, 0, 0, 0, 0, 0}, SRB_DIR_NONE, 0);
    block.srb.SRB_BufPointer = nullptr;
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_COMP);
    EXPECT_EQ(disk->journal().back().direction, SimDirection::none);
}

TEST_F(LinuxSgExec, CheckConditionCopiesTheDeviceSense) {
    const std::vector<std::uint8_t> sense = fixed_sense(SIM_SENSE_ILLEGAL_REQUEST, 0x20, 0x00);
    disk->inject_check_condition(1, sense);
    GuardedExec block = request(0, 2, write_buffer, SRB_DIR_OUT, 16);
    block.srb.SenseArea[14] = 0x99;  // beyond the 14 bytes asked for
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_ERR);
    EXPECT_EQ(block.srb.SRB_Status, SS_ERR);
    EXPECT_EQ(block.srb.SRB_TargStat, SCSI_STATUS_CHECK_CONDITION);
    EXPECT_EQ(block.srb.SRB_HaStat, 0);
    EXPECT_EQ(std::memcmp(block.srb.SenseArea, sense.data(), 14), 0);
    EXPECT_EQ(block.srb.SenseArea[14], 0x99);
    expect_guard_intact(block);
}

TEST_F(LinuxSgExec, SenseCopyIsBoundedByTheSenseArea) {
    disk->inject_check_condition(1, fixed_sense(SIM_SENSE_MEDIUM_ERROR, 0x11, 0x00));
    GuardedExec block = request(0, 2, inquiry);
    block.srb.SRB_SenseLen = 255;  // more than the block holds
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_ERR);
    EXPECT_EQ(block.srb.SenseArea[2], SIM_SENSE_MEDIUM_ERROR);
    EXPECT_EQ(sg.last_request().sense_info_length, 32);  // what the platform buffer takes
    expect_guard_intact(block);
}

TEST_F(LinuxSgExec, BusyFailsWithoutSense) {
    disk->inject_busy(1);
    GuardedExec block = request(0, 2, inquiry);
    std::memset(block.srb.SenseArea, 0x55, sizeof block.srb.SenseArea);
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_ERR);
    EXPECT_EQ(block.srb.SRB_TargStat, SCSI_STATUS_BUSY);
    for (std::uint8_t byte : block.srb.SenseArea) EXPECT_EQ(byte, 0x55);
}

TEST_F(LinuxSgExec, ARefusedRequestIsBufferTooBigWithIllegalRequestSense) {
    sg.fail_sg_io(disk_node, SgIoOutcome::refused, 1);
    GuardedExec block = request(0, 2, inquiry);
    block.srb.SRB_TargStat = 0x11;
    block.srb.SRB_HaStat = 0x22;
    std::memset(block.srb.SenseArea, 0x55, sizeof block.srb.SenseArea);
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_BUFFER_TOO_BIG);
    expect_made_up_sense(block.srb, 0x05);
    EXPECT_EQ(block.srb.SenseArea[14], 0x55);  // only the 14 bytes asked for
    EXPECT_EQ(block.srb.SRB_TargStat, 0x11);   // left as the caller set them
    EXPECT_EQ(block.srb.SRB_HaStat, 0x22);
}

TEST_F(LinuxSgExec, AFailedCallIsAnErrorWithHardwareErrorSense) {
    sg.fail_sg_io(disk_node, SgIoOutcome::failed, 1);
    GuardedExec block = request(0, 2, inquiry);
    block.srb.SRB_TargStat = 0x11;
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_ERR);
    expect_made_up_sense(block.srb, 0x04);
    EXPECT_EQ(block.srb.SRB_TargStat, 0x11);
    // The next request goes through again.
    GuardedExec again = request(0, 2, inquiry);
    EXPECT_EQ(aspi_send_and_wait(&again.srb), SS_COMP);
}

TEST_F(LinuxSgExec, HostErrorsAreErrorsEvenWithGoodStatus) {
    for (const std::uint16_t host_status : {DID_NO_CONNECT, DID_TIME_OUT}) {
        sg.inject_transport_status(disk_node, host_status, 0, 1);
        GuardedExec block = request(0, 2, inquiry);
        block.srb.SRB_TargStat = 0x11;
        EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_ERR) << host_status;
        expect_made_up_sense(block.srb, 0x04);
        EXPECT_EQ(block.srb.SRB_TargStat, 0x11);
    }
    EXPECT_EQ(disk->command_count(), 0u);
}

TEST_F(LinuxSgExec, DriverErrorsAreErrorsButSenseAloneIsNot) {
    for (const std::uint16_t driver_status :
         {DRIVER_ERROR, DRIVER_TIMEOUT, static_cast<std::uint16_t>(DRIVER_TIMEOUT | SUGGEST_RETRY)}) {
        sg.inject_transport_status(disk_node, 0, driver_status, 1);
        GuardedExec block = request(0, 2, inquiry);
        EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_ERR) << driver_status;
        expect_made_up_sense(block.srb, 0x04);
    }
    // "Sense follows" and a mere suggestion name no error.
    for (const std::uint16_t driver_status : {SG_DRIVER_SENSE, SUGGEST_RETRY}) {
        sg.inject_transport_status(disk_node, 0, driver_status, 1);
        GuardedExec block = request(0, 2, inquiry);
        EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_COMP) << driver_status;
    }
}

TEST_F(LinuxSgExec, AnEmptyAddressIsNoDeviceAndTouchesNothing) {
    for (const auto& [host, target, lun] :
         {std::tuple<std::uint8_t, std::uint8_t, std::uint8_t>{0, 3, 0}, {0, 2, 1}, {2, 0, 0},
          {31, 127, 7}, {255, 255, 255}}) {
        GuardedExec block = request(host, target, inquiry);
        block.srb.SRB_Lun = lun;
        std::memset(block.srb.SenseArea, 0x55, sizeof block.srb.SenseArea);
        block.srb.SRB_TargStat = 0x11;
        EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_NO_DEVICE);
        EXPECT_EQ(block.srb.SRB_Status, SS_NO_DEVICE);
        EXPECT_EQ(block.srb.SRB_TargStat, 0x11);
        for (std::uint8_t byte : block.srb.SenseArea) EXPECT_EQ(byte, 0x55);
    }
    EXPECT_EQ(sg.sg_io_count(), 0u);
}

TEST_F(LinuxSgExec, ACommandLongerThanSixteenBytesIsRefusedBeforeTheDriver) {
    GuardedExec block = request(0, 2, inquiry);
    block.srb.SRB_CDBLen = 17;
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_BUFFER_TOO_BIG);
    expect_made_up_sense(block.srb, 0x05);
    EXPECT_EQ(sg.sg_io_count(), 0u);
}

TEST_F(LinuxSgExec, AReadOnlyNodeTakesReadsButNotWrites) {
    aspi_unload();
    sg.refuse_open(disk_node, OpenAccess::read_write);
    ASSERT_EQ(start(), 0x0102u);
    GuardedExec read = request(0, 2, inquiry);
    EXPECT_EQ(aspi_send_and_wait(&read.srb), SS_COMP);
    GuardedExec write = request(0, 2, write_buffer, SRB_DIR_OUT, 16);
    EXPECT_EQ(aspi_send_and_wait(&write.srb), SS_ERR);
    expect_made_up_sense(write.srb, 0x04);
}

TEST_F(LinuxSgExec, OtherCommandCodesAreAnsweredAsByTheNtEmulation) {
    SRB_ExecSCSICmd srb = exec_request(0, 2, 0, inquiry, SRB_DIR_IN, data, 36);
    srb.SRB_Cmd = SC_GET_DEV_TYPE;
    EXPECT_EQ(aspi_send_and_wait(&srb), SS_ERR);
    srb.SRB_Cmd = SC_ABORT_SRB;
    srb.SRB_Status = 0x77;
    EXPECT_EQ(aspi_send_command(&srb), SS_PENDING);
    EXPECT_EQ(srb.SRB_Status, SS_PENDING);
    EXPECT_EQ(sg.sg_io_count(), 0u);
}

}  // namespace
}  // namespace korvel
