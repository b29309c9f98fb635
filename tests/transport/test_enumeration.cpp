// Device enumeration over a simulated Windows NT system: which devices land at which address.
#include "sim_bridge_catalog.h"
#include "transport_fixture.h"

namespace korvel {
namespace {

class Enumeration : public TransportTest {
protected:
    // The name the handle in a slot was opened by ("" for an empty slot).
    std::string name_at(std::uint32_t host, std::uint32_t target, std::uint32_t lun = 0) {
        const DeviceSlot slot = device_slot(host, target, lun);
        return slot.handle == 0 ? std::string() : sim.nt.handle_name(slot.handle);
    }
    std::uint32_t path_at(std::uint32_t host, std::uint32_t target, std::uint32_t lun = 0) {
        return device_slot(host, target, lun).path_id;
    }
    std::size_t occupied_slots() {
        std::size_t count = 0;
        for (std::uint32_t host = 0; host < MAX_HOSTS; ++host)
            for (std::uint32_t target = 0; target < MAX_TARGETS; ++target)
                for (std::uint32_t lun = 0; lun < MAX_LUNS; ++lun)
                    if (device_slot(host, target, lun).handle != 0) ++count;
        return count;
    }
    // The device at an address answers INQUIRY through the emulation with its own data.
    std::string product_at(std::uint8_t host, std::uint8_t target) {
        std::uint8_t data[36] = {};
        SRB_ExecSCSICmd srb = inquiry_request(host, target, data);
        if (aspi_send_and_wait(&srb) != SS_COMP) return "";
        return std::string(reinterpret_cast<const char*>(data + 16), 16);
    }
};

TEST_F(Enumeration, ClassDevicesAndUnclaimedDevicesOfOnePort) {
    auto bridge = make_device_of_type(SIM_TYPE_PROCESSOR);
    sim.nt.lay_out_port(0, "aic78xx",
                        {{0, 0, 0, make_disk()},
                         {0, 2, 0, make_optical()},
                         {0, 3, 0, make_cdrom()},
                         {0, 4, 0, make_tape()},
                         {0, 5, 0, make_scanner()},
                         {0, 6, 0, bridge},
                         {0, 6, 1, make_device_of_type(SIM_TYPE_PROCESSOR)}});
    EXPECT_EQ(start(), 0x0101u);

    EXPECT_EQ(name_at(0, 0), "\\\\.\\c:");  // the disk's drive letter comes first
    EXPECT_EQ(name_at(0, 2), "\\\\.\\d:");  // optical memory: its removable drive letter
    EXPECT_EQ(name_at(0, 3), "\\\\.\\e:");  // CD-ROM drive letter
    EXPECT_EQ(name_at(0, 4), "\\\\.\\TAPE0");
    EXPECT_EQ(name_at(0, 5), "\\\\.\\SCANNER0");
    EXPECT_EQ(name_at(0, 6), "\\\\.\\Scsi0:");  // unclaimed: through the port device
    EXPECT_EQ(name_at(0, 6, 1), "\\\\.\\Scsi0:");
    EXPECT_NE(device_slot(0, 6, 0).handle, device_slot(0, 6, 1).handle);
    EXPECT_EQ(occupied_slots(), 7u);
    EXPECT_EQ(sim.nt.privileges_asked(), std::vector<std::string>{"SeLoadDriverPrivilege"});

    EXPECT_EQ(product_at(0, 4), "C1537A          ");
    EXPECT_EQ(bridge->command_count(), 0u);  // the port's own listing named it: no probe
    product_at(0, 6);
    EXPECT_EQ(bridge->command_count(), 1u);  // reached through its own port handle
    expect_every_handle_closed_once();
}

TEST_F(Enumeration, TwoPartitionsOfOneDiskGiveOneSlot) {
    auto disk = make_disk();
    sim.nt.add_drive_letter('c', DRIVE_TYPE_FIXED, disk, SimAddress{0, 0, 1, 0});
    sim.nt.add_drive_letter('d', DRIVE_TYPE_FIXED, disk, SimAddress{0, 0, 1, 0});
    start();
    EXPECT_EQ(name_at(0, 1), "\\\\.\\c:");
    EXPECT_EQ(occupied_slots(), 1u);
    expect_every_handle_closed_once();
}

TEST_F(Enumeration, CdromDeviceCountsOnlyBehindACdromDriveLetter) {
    sim.nt.add_drive_letter('d', DRIVE_TYPE_CDROM, make_cdrom(), SimAddress{0, 0, 3, 0});
    sim.nt.add_drive_letter('e', DRIVE_TYPE_FIXED, make_cdrom(), SimAddress{0, 0, 4, 0});
    start();
    EXPECT_EQ(name_at(0, 3), "\\\\.\\d:");
    EXPECT_EQ(name_at(0, 4), "");
    expect_every_handle_closed_once();
}

TEST_F(Enumeration, SecondaryBusesGetNewHostsByPortThenPath) {
    // Port 1's second bus is found first (drive letter C:), port 0's buses later.
    sim.nt.add_drive_letter('c', DRIVE_TYPE_FIXED, make_disk(), SimAddress{1, 2, 0, 0});
    sim.nt.add_device_name("\\\\.\\PHYSICALDRIVE0", make_disk(), SimAddress{0, 0, 1, 0});
    sim.nt.add_device_name("\\\\.\\PHYSICALDRIVE1", make_disk(), SimAddress{1, 1, 5, 0});
    sim.nt.add_device_name("\\\\.\\PHYSICALDRIVE2", make_disk(), SimAddress{0, 1, 3, 0});
    sim.nt.add_device_name("\\\\.\\TAPE0", make_tape(), SimAddress{1, 1, 6, 0});
    EXPECT_EQ(start(), 0x0105u);

    EXPECT_EQ(name_at(0, 1), "\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(path_at(0, 1), 0u);
    EXPECT_TRUE(host_present(1));  // port 1 reported, though nothing sits on its first bus
    EXPECT_EQ(name_at(2, 3), "\\\\.\\PHYSICALDRIVE2");  // port 0, path 1
    EXPECT_EQ(path_at(2, 3), 1u);
    EXPECT_EQ(name_at(3, 5), "\\\\.\\PHYSICALDRIVE1");  // port 1, path 1
    EXPECT_EQ(name_at(3, 6), "\\\\.\\TAPE0");
    EXPECT_EQ(name_at(4, 0), "\\\\.\\c:");  // port 1, path 2
    EXPECT_EQ(path_at(4, 0), 2u);
    EXPECT_EQ(extra_bus_count(), 0u);
    expect_every_handle_closed_once();
}

TEST_F(Enumeration, HostNumbersMayHaveGaps) {
    sim.nt.lay_out_port(0, "aic78xx", {{0, 1, 0, make_disk()}});
    sim.nt.lay_out_port(2, "aic78xx", {{0, 1, 0, make_disk()}});
    EXPECT_EQ(start(), 0x0103u);
    EXPECT_FALSE(host_present(1));
    EXPECT_EQ(name_at(1, 1), "");
    EXPECT_EQ(name_at(2, 1), "\\\\.\\d:");
}

// A disk removed since boot leaves its number unused; a bridge numbered after it, claimed by
// the disk class driver and so reachable only by that number, is still found.
TEST_F(Enumeration, PhysicalDrivesAfterAGapAreFound) {
    auto bridge = make_bridge(5, SimBridgeOptions{}.with_device_type(SIM_TYPE_DISK));
    sim.nt.lay_out_port(0, "aic78xx", {{0, 1, 0, make_disk(), false},
                                       {0, 3, 0, make_disk(), false},
                                       {0, 5, 0, bridge, false}});
    sim.nt.remove_device_name("\\\\.\\PHYSICALDRIVE0");
    sim.nt.add_device_name("\\\\.\\PHYSICALDRIVE8", make_disk(), SimAddress{0, 0, 6, 0});
    sim.nt.add_device_name("\\\\.\\PHYSICALDRIVE10", make_disk(), SimAddress{0, 0, 7, 0});
    start();
    EXPECT_EQ(name_at(0, 1), "");
    EXPECT_EQ(name_at(0, 3), "\\\\.\\PHYSICALDRIVE1");
    EXPECT_EQ(name_at(0, 5), "\\\\.\\PHYSICALDRIVE2");
    const auto data = bridge->inquiry_data();
    EXPECT_EQ(product_at(0, 5), std::string(data.begin() + 16, data.begin() + 32));
    EXPECT_EQ(name_at(0, 6), "\\\\.\\PHYSICALDRIVE8");
    EXPECT_EQ(name_at(0, 7), "") << "a missing 9 ends the pass";
    expect_every_handle_closed_once();
}

TEST_F(Enumeration, DisksAndDrivesWithoutAddressGoToTheUnaddressedHost) {
    sim.nt.lay_out_port(0, "aic78xx", {{0, 1, 0, make_disk(), false}});  // PHYSICALDRIVE0
    // Numbers 1 to 3 missing, as after a removed disk: both physical drive passes go on over
    // gaps up to 8.
    sim.nt.add_device_name("\\\\.\\PHYSICALDRIVE4", make_disk(), std::nullopt);
    sim.nt.add_device_name("\\\\.\\PHYSICALDRIVE10", make_disk(), std::nullopt);  // after 9 is missing
    sim.nt.add_device_name("\\\\.\\PHYSICALDRIVE5", make_cdrom(), std::nullopt);  // not a disk
    sim.nt.add_drive_letter('f', DRIVE_TYPE_CDROM, make_cdrom(), std::nullopt);
    sim.nt.add_drive_letter('g', DRIVE_TYPE_REMOVABLE);  // a volume that fails the probe
    sim.nt.add_drive_letter('h', DRIVE_TYPE_FIXED, make_disk(), std::nullopt);  // type 0: pass 7's
    EXPECT_EQ(start(), 0x0102u);

    EXPECT_EQ(name_at(1, 0), "\\\\.\\PHYSICALDRIVE4");
    EXPECT_EQ(name_at(1, 1), "\\\\.\\f:");
    EXPECT_EQ(name_at(1, 2), "\\\\.\\g:");
    EXPECT_EQ(name_at(1, 3), "");
    EXPECT_EQ(occupied_slots(), 4u);
    expect_every_handle_closed_once();
}

// Each device takes 48 bytes of the port's inquiry answer, so six or more do not fit the
// first 256-byte read; the read is grown until they do.
TEST_F(Enumeration, BusyPortsAreReadWhole) {
    std::vector<SimPortDevice> devices;
    for (std::uint8_t target = 0; target < 15; ++target) {
        devices.push_back({0, target, 0, make_device_of_type(SIM_TYPE_PROCESSOR)});
    }
    sim.nt.lay_out_port(0, "aic78xx", devices);
    start();
    EXPECT_EQ(occupied_slots(), 15u);
    EXPECT_EQ(name_at(0, 14), "\\\\.\\Scsi0:");
    expect_every_handle_closed_once();
}

TEST_F(Enumeration, PortInquiryFailureEndsThePortOnly) {
    sim.nt.lay_out_port(0, "aic78xx", {{0, 3, 0, make_device_of_type(SIM_TYPE_PROCESSOR)}});
    sim.nt.lay_out_port(1, "aic78xx", {{0, 3, 0, make_device_of_type(SIM_TYPE_PROCESSOR)}});
    sim.nt.fail_io_control(SimNtSystem::port_device_name(0), IOCTL_SCSI_GET_INQUIRY_DATA, 1);
    start();
    EXPECT_EQ(name_at(0, 3), "");
    EXPECT_EQ(name_at(1, 3), "\\\\.\\Scsi1:");
    expect_every_handle_closed_once();
}

TEST_F(Enumeration, MalformedPortAnswerFindsNothingAndLeaksNothing) {
    sim.nt.add_port(0);
    std::vector<std::uint8_t> bytes(64, 0);
    bytes[0] = 1;
    bytes[8] = 40;  // first entry at 40: its 12-byte header fits, its INQUIRY data does not
    bytes[40 + 4] = 36;
    sim.nt.set_raw_inquiry_data(0, bytes, 64);
    start();
    EXPECT_EQ(occupied_slots(), 0u);
    expect_every_handle_closed_once();
}

TEST_F(Enumeration, AddressesOutsideTheTableAreAbsent) {
    sim.nt.add_device_name("\\\\.\\PHYSICALDRIVE0", make_disk(), SimAddress{40, 0, 1, 0});
    sim.nt.add_device_name("\\\\.\\PHYSICALDRIVE1", make_disk(), SimAddress{0, 0, 200, 0});
    sim.nt.add_device_name("\\\\.\\PHYSICALDRIVE2", make_disk(), SimAddress{0, 3, 1, 9});
    sim.nt.add_device_name("\\\\.\\TAPE0", make_tape(), SimAddress{0, 0, 4, 0});
    EXPECT_EQ(start(), 0x0101u);
    EXPECT_EQ(occupied_slots(), 1u);
    EXPECT_EQ(name_at(0, 4), "\\\\.\\TAPE0");
    expect_every_handle_closed_once();
}

TEST_F(Enumeration, RefusedPrivilegeAndFailedOpensAreNoObstacle) {
    sim.nt.set_privilege_result(false);
    sim.nt.lay_out_port(0, "aic78xx", {{0, 1, 0, make_disk()}, {0, 4, 0, make_tape()}});
    sim.nt.fail_open("\\\\.\\TAPE0", SIM_ERROR_ACCESS_DENIED, OpenAccess::read_write);
    EXPECT_EQ(start(), 0x0101u);
    EXPECT_EQ(name_at(0, 4), "\\\\.\\TAPE0");  // opened read-only on the second attempt
}

TEST_F(Enumeration, UnloadClosesEveryHandleOnceAndEmptiesTheTable) {
    sim.nt.lay_out_port(0, "aic78xx",
                        {{0, 0, 0, make_disk()}, {0, 3, 0, make_cdrom()},
                         {0, 6, 0, make_device_of_type(SIM_TYPE_PROCESSOR)}});
    start();
    std::vector<OsHandle> held;
    for (std::uint32_t target : {0u, 3u, 6u}) held.push_back(device_slot(0, target, 0).handle);
    aspi_unload();
    for (OsHandle handle : held) EXPECT_EQ(sim.nt.close_count(handle), 1u);
    EXPECT_EQ(occupied_slots(), 0u);
    EXPECT_EQ(host_count(), 1);  // the count stays until the next load
    expect_every_handle_closed_once();
}

}  // namespace
}  // namespace korvel
