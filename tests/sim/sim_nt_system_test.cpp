// The simulated NT namespace: what the port driver answers, where pass-through goes, and the
// handle accounting the enumeration tests assert on.
#include "sim_nt_system.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sim_device_catalog.h"

namespace korvel {
namespace {

std::uint32_t u32_at(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

// One SCSI_INQUIRY_DATA entry as a reader of the answer sees it.
struct Entry {
    std::uint8_t path, target, lun, claimed, type;
};

std::vector<Entry> chain_of_bus(const std::vector<std::uint8_t>& answer, std::size_t bus) {
    std::vector<Entry> out;
    for (std::uint32_t at = u32_at(answer, 4 + 8 * bus + 4); at != 0; at = u32_at(answer, at + 8)) {
        out.push_back(
            {answer[at], answer[at + 1], answer[at + 2], answer[at + 3], answer[at + 12]});
        EXPECT_EQ(u32_at(answer, at + 4), 36u) << "InquiryDataLength";
    }
    return out;
}

bool read_inquiry_data(SimNtSystem& nt, OsHandle port, std::vector<std::uint8_t>& buffer,
                       std::uint32_t* returned) {
    return nt.io_control(port, IOCTL_SCSI_GET_INQUIRY_DATA, buffer.data(),
                         static_cast<std::uint32_t>(buffer.size()), returned);
}

PassThroughRequest inquiry_request(std::uint8_t* data, std::uint32_t length) {
    PassThroughRequest r;
    r.cdb_length = 6;
    r.cdb[0] = 0x12;
    r.cdb[4] = static_cast<std::uint8_t>(length);
    r.data_in = 1;
    r.data_transfer_length = length;
    r.data_buffer = data;
    r.sense_info_length = 14;
    return r;
}

TEST(SimNtSystem, ClassDriverLayoutNamesClaimsAndListsEveryDevice) {
    SimNtSystem nt;
    const auto names = nt.lay_out_port(0, "aic78xx",
                                       {{0, 0, 0, make_disk()},
                                        {0, 3, 0, make_cdrom()},
                                        {0, 5, 0, make_device_of_type(SIM_TYPE_PROCESSOR)},
                                        {1, 2, 0, make_optical()},
                                        {0, 6, 0, make_scanner()}});
    EXPECT_EQ(names[0].device_name, "\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(names[0].drive_name, "\\\\.\\c:");
    EXPECT_EQ(names[1].drive_name, "\\\\.\\d:");
    EXPECT_FALSE(names[2].claimed);
    EXPECT_TRUE(names[2].device_name.empty());
    EXPECT_EQ(names[3].device_name, "\\\\.\\PHYSICALDRIVE1");
    EXPECT_EQ(names[4].device_name, "\\\\.\\SCANNER0");
    EXPECT_EQ(nt.logical_drives(), 0b11100u);
    EXPECT_EQ(nt.drive_type("c:"), DRIVE_TYPE_FIXED);
    EXPECT_EQ(nt.drive_type("d:"), DRIVE_TYPE_CDROM);
    EXPECT_EQ(nt.drive_type("e:"), DRIVE_TYPE_REMOVABLE);

    // The port lists both buses, claimed devices included, in target order.
    const OsHandle port =
        nt.open_device("\\\\.\\Scsi0:", OpenAccess::read_write, OpenSharing::read_write);
    ASSERT_NE(port, 0u);
    std::vector<std::uint8_t> answer(1024, 0);
    std::uint32_t returned = 0;
    ASSERT_TRUE(read_inquiry_data(nt, port, answer, &returned));
    EXPECT_EQ(returned, 24u + 5 * 48);
    EXPECT_EQ(answer[0], 2) << "NumberOfBuses";
    EXPECT_EQ(answer[4], 4) << "NumberOfLogicalUnits of bus 0";
    EXPECT_EQ(answer[5], 7) << "InitiatorBusId";
    const std::vector<Entry> bus0 = chain_of_bus(answer, 0);
    ASSERT_EQ(bus0.size(), 4u);
    EXPECT_EQ(bus0[0].target, 0);
    EXPECT_EQ(bus0[0].claimed, 1);
    EXPECT_EQ(bus0[1].type, SIM_TYPE_CDROM);
    EXPECT_EQ(bus0[2].target, 5);
    EXPECT_EQ(bus0[2].claimed, 0);
    EXPECT_EQ(bus0[3].type, SIM_TYPE_SCANNER);
    const std::vector<Entry> bus1 = chain_of_bus(answer, 1);
    ASSERT_EQ(bus1.size(), 1u);
    EXPECT_EQ(bus1[0].path, 1);
    EXPECT_EQ(bus1[0].target, 2);

    // The class device reports its address; the port driver's name is in the device map.
    const OsHandle drive =
        nt.open_device("\\\\.\\e:", OpenAccess::read_write, OpenSharing::read_write);
    std::uint8_t address[8] = {};
    ASSERT_TRUE(nt.io_control(drive, IOCTL_SCSI_GET_ADDRESS, address, 8, &returned));
    const std::uint8_t expected[8] = {8, 0, 0, 0, 0, 1, 2, 0};
    EXPECT_EQ(std::memcmp(address, expected, 8), 0);
    std::uint8_t driver[255] = {};
    std::uint32_t length = 0;
    ASSERT_TRUE(nt.read_registry_value("HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0", "Driver", driver,
                                       sizeof driver, &length));
    EXPECT_EQ(length, 8u) << "a string value's length counts its terminating zero";
    EXPECT_STREQ(reinterpret_cast<const char*>(driver), "aic78xx");
}

TEST(SimNtSystem, InquiryDataRefusesATooSmallBufferAndWritesNothing) {
    SimNtSystem nt;
    for (std::uint8_t target = 0; target < 6; ++target) {
        nt.attach({0, 0, target, 0}, make_device_of_type(SIM_TYPE_PROCESSOR), false);
    }
    const OsHandle port =
        nt.open_device("\\\\.\\Scsi0:", OpenAccess::read_write, OpenSharing::read_write);

    std::vector<std::uint8_t> small(256, 0xCC);
    std::uint32_t returned = 0;
    EXPECT_FALSE(read_inquiry_data(nt, port, small, &returned));
    EXPECT_EQ(nt.last_error(), OS_ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(small, std::vector<std::uint8_t>(256, 0xCC));

    std::vector<std::uint8_t> grown(512, 0);
    ASSERT_TRUE(read_inquiry_data(nt, port, grown, &returned));
    EXPECT_EQ(returned, 16u + 6 * 48);
    EXPECT_EQ(chain_of_bus(grown, 0).size(), 6u);
}

TEST(SimNtSystem, PassThroughGoesToTheClassDeviceOrByAddressThroughThePort) {
    SimNtSystem nt;
    auto on_bus0 = make_device_of_type(SIM_TYPE_PROCESSOR);
    auto on_bus1 = make_disk("IBM", "DDRS-39130D", "DC1B");
    nt.attach({2, 0, 4, 0}, on_bus0, false);
    nt.attach({2, 1, 4, 0}, on_bus1, false);
    nt.set_max_transfer(2, 4096);
    auto disk = make_disk();
    nt.add_device_name("\\\\.\\PHYSICALDRIVE0", disk, std::nullopt);

    const OsHandle port =
        nt.open_device("\\\\.\\Scsi2:", OpenAccess::read_write, OpenSharing::read_write);
    std::vector<std::uint8_t> data(4097, 0);
    PassThroughRequest r = inquiry_request(data.data(), 36);
    r.path_id = 1;
    r.target_id = 4;
    ASSERT_TRUE(nt.pass_through_direct(port, r));
    EXPECT_EQ(r.scsi_status, SCSI_STATUS_GOOD);
    EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 11), "IBM");
    ASSERT_EQ(on_bus1->command_count(), 1u);
    EXPECT_EQ(on_bus1->journal()[0].address, (SimAddress{2, 1, 4, 0}));
    EXPECT_EQ(on_bus0->command_count(), 0u);

    r.target_id = 6;
    EXPECT_FALSE(nt.pass_through_direct(port, r)) << "nobody at target 6";
    EXPECT_EQ(nt.last_error(), SIM_ERROR_SEM_TIMEOUT);

    r.target_id = 4;
    r.data_transfer_length = 4097;
    EXPECT_FALSE(nt.pass_through_direct(port, r));
    EXPECT_EQ(nt.last_error(), OS_ERROR_INVALID_PARAMETER);
    r.data_transfer_length = 4096;
    EXPECT_TRUE(nt.pass_through_direct(port, r));

    // A class device answers whatever address the request names.
    const OsHandle drive =
        nt.open_device("\\\\.\\PHYSICALDRIVE0", OpenAccess::read_write, OpenSharing::read_write);
    PassThroughRequest to_disk = inquiry_request(data.data(), 36);
    to_disk.path_id = 3;
    to_disk.target_id = 9;
    ASSERT_TRUE(nt.pass_through_direct(drive, to_disk));
    EXPECT_EQ(disk->command_count(), 1u);

    // CHECK CONDITION brings back as many sense bytes as asked for.
    disk->inject_check_condition(1, fixed_sense(SIM_SENSE_NOT_READY, 0x3A, 0));
    to_disk.sense_info_length = 3;
    ASSERT_TRUE(nt.pass_through_direct(drive, to_disk));
    EXPECT_EQ(to_disk.scsi_status, SCSI_STATUS_CHECK_CONDITION);
    EXPECT_EQ(to_disk.sense[2], SIM_SENSE_NOT_READY);
    EXPECT_EQ(to_disk.sense[12], 0) << "only sense_info_length bytes";

    // Pass-through needs write access; a read-only handle is refused.
    const OsHandle read_only =
        nt.open_device("\\\\.\\PHYSICALDRIVE0", OpenAccess::read, OpenSharing::read);
    EXPECT_FALSE(nt.pass_through_direct(read_only, to_disk));
    EXPECT_EQ(nt.last_error(), SIM_ERROR_ACCESS_DENIED);

    disk->set_removed(true);
    EXPECT_FALSE(nt.pass_through_direct(drive, to_disk));
    EXPECT_EQ(nt.last_error(), SIM_ERROR_DEVICE_NOT_CONNECTED);
}

TEST(SimNtSystem, HandlesAreUniqueAndEveryCloseIsAccountedFor) {
    SimNtSystem nt;
    nt.add_device_name("\\\\.\\TAPE0", make_tape(), SimAddress{0, 0, 5, 0});
    nt.fail_open("\\\\.\\TAPE0", SIM_ERROR_ACCESS_DENIED, OpenAccess::read_write, 1);

    EXPECT_EQ(nt.open_device("\\\\.\\TAPE0", OpenAccess::read_write, OpenSharing::read_write), 0u);
    EXPECT_EQ(nt.last_error(), SIM_ERROR_ACCESS_DENIED);
    const OsHandle a =
        nt.open_device("\\\\.\\TAPE0", OpenAccess::read_write, OpenSharing::read_write);
    const OsHandle b = nt.open_device("\\\\.\\TAPE0", OpenAccess::read, OpenSharing::read);
    EXPECT_EQ(nt.open_device("\\\\.\\TAPE1", OpenAccess::read, OpenSharing::read), 0u);
    EXPECT_EQ(nt.last_error(), SIM_ERROR_FILE_NOT_FOUND);
    EXPECT_NE(a, 0u);
    EXPECT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_EQ(nt.opens().size(), 4u);
    EXPECT_EQ(nt.open_handles(), 2u);

    nt.close_handle(a);
    nt.close_handle(a);
    nt.close_handle(0);
    nt.close_handle(b + 1000);
    EXPECT_EQ(nt.close_count(a), 2u);
    EXPECT_EQ(nt.double_closes(), 1u);
    EXPECT_EQ(nt.unknown_closes(), 2u);
    EXPECT_EQ(nt.open_handle_names(), std::vector<std::string>{"\\\\.\\TAPE0"});
    EXPECT_EQ(nt.handle_name(b), "\\\\.\\TAPE0");

    const OsHandle c =
        nt.open_device("\\\\.\\TAPE0", OpenAccess::read_write, OpenSharing::read_write);
    EXPECT_NE(c, a) << "a closed handle's value is not handed out again";
    std::uint32_t returned = 0;
    std::uint8_t address[8];
    EXPECT_FALSE(nt.io_control(a, IOCTL_SCSI_GET_ADDRESS, address, 8, &returned))
        << "a closed handle is dead";
    EXPECT_EQ(nt.last_error(), SIM_ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace korvel
