// Execute requests carried out as pass-through calls: status, sense and bounds.
#include "transport_fixture.h"

namespace korvel {
namespace {

// The block with guard bytes behind it, so a write past the 80 bytes shows.
struct GuardedExec {
    SRB_ExecSCSICmd srb;
    std::uint8_t after[64];
};

class ExecScsi : public TransportTest {
protected:
    void SetUp() override {
        TransportTest::SetUp();
        sim.nt.lay_out_port(0, "aic78xx", {{0, 2, 0, disk}, {0, 5, 0, bridge}});
        sim.nt.set_max_transfer(0, 65536);
        ASSERT_EQ(start(), 0x0101u);
    }

    GuardedExec request(std::uint8_t target, const std::vector<std::uint8_t>& cdb,
                        std::uint8_t flags = SRB_DIR_IN, std::uint32_t length = 36) {
        GuardedExec block;
        std::memset(block.after, 0xCC, sizeof block.after);
        block.srb = exec_request(0, target, 0, cdb.data(), static_cast<std::uint8_t>(cdb.size()),
                                 flags, data, length);
        return block;
    }

    static void expect_guard_intact(const GuardedExec& block) {
        for (std::uint8_t byte : block.after) ASSERT_EQ(byte, 0xCC);
    }

    std::shared_ptr<SimDevice> disk = make_disk();
    std::shared_ptr<SimDevice> bridge = make_device_of_type(SIM_TYPE_PROCESSOR);
    std::uint8_t data[65536 + 512] = {};
    const std::vector<std::uint8_t> inquiry{0x12, 0, 0, 0, 36, 0};
    const std::vector<std::uint8_t> write_buffer{0x3B, 0x17, 0x78, 0, 0, 0, 0, 0x10, 0, 0};
};

TEST_F(ExecScsi, GoodStatusCompletesWithTheData) {
    GuardedExec block = request(2, inquiry);
    block.srb.SRB_HaStat = 0x33;
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_COMP);
    EXPECT_EQ(block.srb.SRB_Status, SS_COMP);
    EXPECT_EQ(block.srb.SRB_TargStat, 0);
    EXPECT_EQ(block.srb.SRB_HaStat, 0);
    EXPECT_EQ(block.srb.SRB_BufLen, 36u);
    EXPECT_EQ(std::memcmp(data + 8, "SEAGATE ", 8), 0);
}

TEST_F(ExecScsi, CommandReachesTheDeviceAsSent) {
    for (std::size_t i = 0; i < 4096; ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    GuardedExec block = request(5, write_buffer, SRB_DIR_OUT, 4096);
    aspi_send_and_wait(&block.srb);
    const std::vector<SimJournalEntry> journal = bridge->journal();
    ASSERT_FALSE(journal.empty());
    const SimJournalEntry& last = journal.back();
    EXPECT_EQ(last.cdb, write_buffer);
    EXPECT_EQ(last.direction, SimDirection::out);
    EXPECT_EQ(last.length, 4096u);
    EXPECT_EQ(last.data_out, std::vector<std::uint8_t>(data, data + 4096));
    EXPECT_EQ(last.address.target_id, 5);
}

TEST_F(ExecScsi, CheckConditionCopiesTheDeviceSense) {
    std::vector<std::uint8_t> sense = fixed_sense(SIM_SENSE_ILLEGAL_REQUEST, 0x24, 0x00);
    disk->inject_check_condition(1, sense);
    GuardedExec block = request(2, inquiry);
    block.srb.SenseArea[14] = 0x99;  // beyond the 14 bytes asked for
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_ERR);
    EXPECT_EQ(block.srb.SRB_TargStat, SCSI_STATUS_CHECK_CONDITION);
    EXPECT_EQ(std::memcmp(block.srb.SenseArea, sense.data(), 14), 0);
    EXPECT_EQ(block.srb.SenseArea[14], 0x99);
}

TEST_F(ExecScsi, BusyFailsWithoutSense) {
    disk->inject_busy(1);
    GuardedExec block = request(2, inquiry);
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_ERR);
    EXPECT_EQ(block.srb.SRB_TargStat, SCSI_STATUS_BUSY);
    for (std::uint8_t byte : block.srb.SenseArea) EXPECT_EQ(byte, 0);
}

TEST_F(ExecScsi, InvalidParameterGivesBufferTooBigWithMadeUpSense) {
    GuardedExec block = request(5, write_buffer, SRB_DIR_OUT, 65536 + 512);
    block.srb.SRB_TargStat = 0x44;
    block.srb.SRB_HaStat = 0x55;
    std::memset(block.srb.SenseArea, 0xEE, 16);
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_BUFFER_TOO_BIG);
    const std::uint8_t expected[16] = {0x70, 0, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                       0xEE, 0xEE};
    EXPECT_EQ(std::memcmp(block.srb.SenseArea, expected, 16), 0);
    EXPECT_EQ(block.srb.SRB_TargStat, 0x44);  // the caller's values stay
    EXPECT_EQ(block.srb.SRB_HaStat, 0x55);
}

TEST_F(ExecScsi, OtherPlatformFailuresGiveHardwareError) {
    disk->set_removed(true);  // a vanished device keeps its slot
    GuardedExec block = request(2, inquiry);
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_ERR);
    EXPECT_EQ(block.srb.SenseArea[0], 0x70);
    EXPECT_EQ(block.srb.SenseArea[2], 0x04);

    sim.nt.set_writable(false);  // made-up sense only where the block may be written
    GuardedExec unwritable = request(2, inquiry);
    EXPECT_EQ(aspi_send_and_wait(&unwritable.srb), SS_ERR);
    EXPECT_EQ(unwritable.srb.SenseArea[0], 0);
}

TEST_F(ExecScsi, EmptyOrImpossibleAddressIsNoDevice) {
    struct Address {
        std::uint8_t host, target, lun;
    };
    for (Address address : {Address{0, 3, 0}, Address{1, 2, 0}, Address{40, 2, 0},
                            Address{0, 200, 0}, Address{0, 2, 9}, Address{255, 255, 255}}) {
        GuardedExec block = request(2, inquiry);
        block.srb.SRB_HaId = address.host;
        block.srb.SRB_Target = address.target;
        block.srb.SRB_Lun = address.lun;
        std::memset(block.srb.SenseArea, 0xEE, 16);
        EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_NO_DEVICE);
        EXPECT_EQ(block.srb.SenseArea[0], 0xEE);
        expect_guard_intact(block);
    }
}

TEST_F(ExecScsi, OverlongCommandIsRefusedWithoutReachingThePlatform) {
    const std::uint32_t calls = sim.nt.pass_through_count();
    GuardedExec block = request(2, inquiry);
    block.srb.SRB_CDBLen = 255;
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_BUFFER_TOO_BIG);
    EXPECT_EQ(block.srb.SenseArea[2], 0x05);
    EXPECT_EQ(sim.nt.pass_through_count(), calls);
    expect_guard_intact(block);

    block.srb.SRB_CDBLen = 16;  // the largest a command may be
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_COMP);
}

TEST_F(ExecScsi, LargeSenseLengthsStayInsideTheBlock) {
    disk->inject_check_condition(1, std::vector<std::uint8_t>(32, 0x71));
    GuardedExec block = request(2, inquiry);
    block.srb.SRB_SenseLen = 255;
    EXPECT_EQ(aspi_send_and_wait(&block.srb), SS_ERR);
    EXPECT_EQ(block.srb.SenseArea[15], 0x71);
    expect_guard_intact(block);

    disk->set_removed(true);
    GuardedExec failed = request(2, inquiry);
    failed.srb.SRB_SenseLen = 255;
    EXPECT_EQ(aspi_send_and_wait(&failed.srb), SS_ERR);
    expect_guard_intact(failed);
}

}  // namespace
}  // namespace korvel
