// The simulated device's answers and injected faults, as the transport tests rely on them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim_device_catalog.h"

namespace korvel {
namespace {

SimDelivery send(SimDevice& device, std::vector<std::uint8_t> cdb, std::vector<std::uint8_t>& data,
                 SimDirection direction = SimDirection::in) {
    SimCommand command;
    command.cdb = cdb;
    command.direction = direction;
    command.data = data.data();
    command.length = static_cast<std::uint32_t>(data.size());
    return device.deliver(command);
}

TEST(SimDevice, InquiryCopiesTheSmallerOfAllocationAndTransferLength) {
    auto disk = make_disk("SEAGATE", "ST39173N", "6244");
    std::vector<std::uint8_t> data(80, 0xEE);

    SimDelivery d = send(*disk, {0x12, 0, 0, 0, 0x38, 0}, data);
    EXPECT_EQ(d.result.status, SCSI_STATUS_GOOD);
    EXPECT_EQ(d.result.transferred, 0x38u);
    EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 36), "SEAGATE ST39173N        6244");
    EXPECT_EQ(data[40], 0) << "bytes past the stored data read as zero";
    EXPECT_EQ(data[0x38], 0xEE) << "nothing past the allocation length";

    std::vector<std::uint8_t> small(6, 0xEE);
    d = send(*disk, {0x12, 0, 0, 0, 0xFF, 0}, small);
    EXPECT_EQ(d.result.transferred, 6u);

    // EVPD for a page the device lacks: ILLEGAL REQUEST, INVALID FIELD IN CDB.
    d = send(*disk, {0x12, 1, 0x83, 0, 0xFF, 0}, data);
    EXPECT_EQ(d.result.status, SCSI_STATUS_CHECK_CONDITION);
    EXPECT_EQ(d.result.sense[2], SIM_SENSE_ILLEGAL_REQUEST);
    EXPECT_EQ(d.result.sense[12], SIM_ASC_INVALID_FIELD_IN_CDB);

    // An empty page (a bus file's "83": "") answers zeros.
    disk->set_vpd_page(0x83, {});
    d = send(*disk, {0x12, 1, 0x83, 0, 0xFF, 0}, small);
    EXPECT_EQ(d.result.status, SCSI_STATUS_GOOD);
    EXPECT_EQ(small, std::vector<std::uint8_t>(6, 0));
}

TEST(SimDevice, FaultsMatchTheirPrefixAndRunOutAfterTheirCount) {
    auto disk = make_disk();
    std::vector<std::uint8_t> data(36);
    disk->inject_check_condition(2, fixed_sense(SIM_SENSE_UNIT_ATTENTION, 0x29, 0), {0x12});
    disk->inject_busy(1);

    // TEST UNIT READY skips the INQUIRY-only fault and takes the BUSY one.
    EXPECT_EQ(send(*disk, {0, 0, 0, 0, 0, 0}, data, SimDirection::none).result.status,
              SCSI_STATUS_BUSY);
    EXPECT_EQ(send(*disk, {0, 0, 0, 0, 0, 0}, data, SimDirection::none).result.status,
              SCSI_STATUS_GOOD);
    for (int i = 0; i < 2; ++i) {
        const SimDelivery d = send(*disk, {0x12, 0, 0, 0, 36, 0}, data);
        ASSERT_EQ(d.result.status, SCSI_STATUS_CHECK_CONDITION);
        EXPECT_EQ(d.result.sense[0], 0x70);
        EXPECT_EQ(d.result.sense[2], SIM_SENSE_UNIT_ATTENTION);
        EXPECT_EQ(d.result.sense[12], 0x29);
    }
    EXPECT_EQ(send(*disk, {0x12, 0, 0, 0, 36, 0}, data).result.status, SCSI_STATUS_GOOD);
    EXPECT_EQ(disk->command_count(), 5u) << "faulted commands are journalled too";

    disk->set_removed(true);
    EXPECT_EQ(send(*disk, {0x12, 0, 0, 0, 36, 0}, data).os_error, SIM_ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(disk->command_count(), 5u) << "a removed device receives nothing";
}

}  // namespace
}  // namespace korvel
