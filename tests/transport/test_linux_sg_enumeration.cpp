// Enumeration over the Linux sg driver: which node lands at which address, how adapters are
// named, and that every node is closed exactly once.
#include "linux_sg_fixture.h"

namespace korvel {
namespace {

class LinuxSgEnumeration : public LinuxSgTest {};

TEST_F(LinuxSgEnumeration, NoNodesIsAFailedStartAsWithoutAdapters) {
    EXPECT_EQ(start(), 1u);  // status byte 0: the window shows its start-up failure
    EXPECT_FALSE(aspi_library_mode());
    EXPECT_EQ(sim.aspi.load_count(), 0u);  // Linux never tries the ASPI library
    EXPECT_TRUE(sim.nt.opens().empty());   // nor the NT device names
    EXPECT_EQ(host_count(), 0);
}

TEST_F(LinuxSgEnumeration, NodesThatCannotBeOpenedAreAFailedStart) {
    const std::string disk = sg.add_device(0, 0, 0, 0, make_disk());
    const std::string cdrom = sg.add_device(0, 0, 3, 0, make_cdrom());
    sg.refuse_open(disk);
    sg.refuse_open(cdrom);

    EXPECT_EQ(start(), 1u);
    // Each node was tried for reading and writing, then for reading only.
    ASSERT_EQ(sg.opens().size(), 4u);
    EXPECT_EQ(sg.opens()[0].name, disk);
    EXPECT_EQ(sg.opens()[0].access, OpenAccess::read_write);
    EXPECT_EQ(sg.opens()[1].name, disk);
    EXPECT_EQ(sg.opens()[1].access, OpenAccess::read);
    EXPECT_EQ(sg.opens()[2].name, cdrom);
    EXPECT_EQ(occupied_slots(), 0u);
}

TEST_F(LinuxSgEnumeration, ChannelZeroKeepsTheKernelHostNumber) {
    const std::string disk = sg.add_device(0, 0, 0, 0, make_disk());
    const std::string cdrom = sg.add_device(0, 0, 3, 0, make_cdrom());
    const std::string lun1 = sg.add_device(0, 0, 3, 1, make_device_of_type(SIM_TYPE_PROCESSOR));
    const std::string other = sg.add_device(2, 0, 5, 0, make_tape());

    // Hosts 0 and 2 in use, 1 is a gap that still counts below the highest.
    EXPECT_EQ(start(), 0x0103u);
    EXPECT_EQ(node_at(0, 0), disk);
    EXPECT_EQ(node_at(0, 3), cdrom);
    EXPECT_EQ(node_at(0, 3, 1), lun1);
    EXPECT_EQ(node_at(2, 5), other);
    EXPECT_EQ(device_slot(2, 5, 0).path_id, 0u);
    EXPECT_TRUE(host_present(0));
    EXPECT_FALSE(host_present(1));
    EXPECT_TRUE(host_present(2));
    EXPECT_EQ(occupied_slots(), 4u);
    // Read and write access where the node allows it.
    EXPECT_EQ(sg.handle_access(device_slot(0, 0, 0).handle), OpenAccess::read_write);
    expect_every_node_closed_once();
}

TEST_F(LinuxSgEnumeration, NodesAreRegisteredInNumberOrder) {
    // Two nodes report the same address (a driver quirk): the lower number keeps the slot.
    SgScsiId id;
    id.host_no = 0;
    id.scsi_id = 1;
    sg.add_node("/dev/sg10", id, make_disk());
    sg.add_node("/dev/sg2", id, make_disk());
    EXPECT_EQ(start(), 0x0101u);
    EXPECT_EQ(node_at(0, 1), "/dev/sg2");
    EXPECT_EQ(sg.open_handles(), 1u);  // the second node was closed at once
    expect_every_node_closed_once();
}

TEST_F(LinuxSgEnumeration, ANodeThatRefusesWritingIsOpenedForReading) {
    const std::string disk = sg.add_device(0, 0, 0, 0, make_disk());
    sg.refuse_open(disk, OpenAccess::read_write);
    EXPECT_EQ(start(), 0x0101u);
    EXPECT_EQ(node_at(0, 0), disk);
    EXPECT_EQ(sg.handle_access(device_slot(0, 0, 0).handle), OpenAccess::read);
    expect_every_node_closed_once();
}

TEST_F(LinuxSgEnumeration, SecondaryChannelsGetHostNumbersAboveTheHighestInUse) {
    const std::string h0c0 = sg.add_device(0, 0, 1, 0, make_disk());
    const std::string h0c2 = sg.add_device(0, 2, 0, 0, make_disk());
    const std::string h0c1 = sg.add_device(0, 1, 2, 0, make_disk());
    const std::string h1c1 = sg.add_device(1, 1, 5, 0, make_disk());
    const std::string h1c0 = sg.add_device(1, 0, 4, 0, make_disk());
    const std::string h0c1b = sg.add_device(0, 1, 6, 1, make_disk());

    // Hosts 0 and 1 keep their numbers; (0,1), (0,2) and (1,1) follow in that order.
    EXPECT_EQ(start(), 0x0105u);
    EXPECT_EQ(node_at(0, 1), h0c0);
    EXPECT_EQ(node_at(1, 4), h1c0);
    EXPECT_EQ(node_at(2, 2), h0c1);
    EXPECT_EQ(node_at(2, 6, 1), h0c1b);
    EXPECT_EQ(node_at(3, 0), h0c2);
    EXPECT_EQ(node_at(4, 5), h1c1);
    EXPECT_EQ(device_slot(2, 2, 0).path_id, 1u);
    EXPECT_EQ(device_slot(3, 0, 0).path_id, 2u);
    EXPECT_EQ(device_slot(4, 5, 0).path_id, 1u);
    EXPECT_EQ(extra_bus_count(), 0u);
    EXPECT_EQ(occupied_slots(), 6u);

    // Each secondary channel is named by the driver of the adapter it belongs to.
    sg.set_proc_name(0, "sym53c8xx\n");
    sg.set_proc_name(1, "aic7xxx\n");
    sg.set_proc_name(2, "usb-storage\n");  // a kernel host 2 that has no node of ours
    EXPECT_EQ(identifier_of(0), "sym53c8xx");
    EXPECT_EQ(identifier_of(1), "aic7xxx");
    EXPECT_EQ(identifier_of(2), "sym53c8xx");
    EXPECT_EQ(identifier_of(3), "sym53c8xx");
    EXPECT_EQ(identifier_of(4), "aic7xxx");
    expect_every_node_closed_once();
}

TEST_F(LinuxSgEnumeration, AddressesTheTableCannotHoldAreNoDevice) {
    const auto node = [&](const char* name, std::int32_t host, std::int32_t channel,
                          std::int32_t target, std::int32_t lun) {
        SgScsiId id;
        id.host_no = host;
        id.channel = channel;
        id.scsi_id = target;
        id.lun = lun;
        sg.add_node(name, id, make_disk());
    };
    node("/dev/sg0", 32, 0, 0, 0);       // host number beyond the table
    node("/dev/sg1", -1, 0, 0, 0);       // nonsense from the driver
    node("/dev/sg2", 300, 0, 0, 0);      // does not fit a host byte
    node("/dev/sg3", 0, 0, 128, 0);      // target beyond the table
    node("/dev/sg4", 0, 0, 0, 8);        // LUN beyond the table
    node("/dev/sg5", 0, 0, 0, -1);       // nonsense LUN
    node("/dev/sg6", 0, 256, 0, 0);      // channel that does not fit a byte
    node("/dev/sg7", 0, 0, 0x7FFFFFFF, 0);
    node("/dev/sg8", 0, 0, 0, 0);        // does not answer SG_GET_SCSI_ID
    sg.fail_scsi_id("/dev/sg8");

    EXPECT_EQ(start(), 1u);
    EXPECT_EQ(occupied_slots(), 0u);
    EXPECT_EQ(sg.open_handles(), 0u);  // each was closed once, right away
    for (const SimSgOpenRecord& open : sg.opens()) {
        if (open.handle != 0) {
            EXPECT_EQ(sg.close_count(open.handle), 1u) << open.name;
        }
    }
    EXPECT_EQ(sg.double_closes(), 0u);
}

TEST_F(LinuxSgEnumeration, MoreSecondaryChannelsThanHostNumbersAreClosed) {
    // 31 kernel hosts with a device each on channel 0 leave one host number; two secondary
    // channels want one each.
    for (std::int32_t host = 0; host < 31; ++host) sg.add_device(host, 0, 0, 0, make_disk());
    const std::string first = sg.add_device(0, 1, 0, 0, make_disk());
    const std::string second = sg.add_device(0, 2, 0, 0, make_disk());
    EXPECT_EQ(start(), 0x0100u + 32u);
    EXPECT_EQ(node_at(31, 0), first);
    EXPECT_EQ(sg.open_handles(), 32u);
    expect_every_node_closed_once();
}

TEST_F(LinuxSgEnumeration, BadNodeListingsAreBounded) {
    sg.add_device(0, 0, 2, 0, make_disk());
    // A name longer than its room arrives cut and without its zero; it must be ended, not
    // read past, and it names no node. Empty names are passed over.
    sg.set_listing({std::string(40, 'x'), "", "/dev/sg0"});
    EXPECT_EQ(start(), 0x0101u);
    ASSERT_EQ(sg.opens().size(), 3u);  // the cut name twice (both accesses), then sg0
    EXPECT_EQ(sg.opens()[0].name, std::string(SG_NODE_NAME_CAPACITY - 1, 'x'));
    EXPECT_EQ(sg.opens()[2].name, "/dev/sg0");
    EXPECT_EQ(node_at(0, 2), "/dev/sg0");
    expect_every_node_closed_once();
}

TEST_F(LinuxSgEnumeration, AdapterInquiryNamesTheDriver) {
    sg.add_device(0, 0, 0, 0, make_disk());
    sg.add_device(1, 0, 0, 0, make_disk());
    ASSERT_EQ(start(), 0x0102u);

    sg.set_proc_name(0, "sym53c8xx\n");
    SRB_HAInquiry srb{};
    srb.SRB_Cmd = SC_HA_INQUIRY;
    EXPECT_EQ(aspi_send_and_wait(&srb), SS_COMP);
    EXPECT_EQ(srb.SRB_Status, SS_COMP);
    EXPECT_EQ(srb.HA_Count, 2);
    EXPECT_EQ(srb.HA_SCSI_ID, 7);
    EXPECT_EQ(std::memcmp(srb.HA_ManagerId, "ASPI for WIN32", 15), 0);
    EXPECT_EQ(std::memcmp(srb.HA_Identifier, "sym53c8xx\0", 10), 0);
    const std::uint8_t unique[16] = {0x07, 0x00, 0x00, 0x08, 0x00, 0x00, 0x04, 0x00};
    EXPECT_EQ(std::memcmp(srb.HA_Unique, unique, 16), 0);

    // A host the kernel does not know, and one above all in use: empty, still SS_COMP.
    EXPECT_EQ(identifier_of(1), "");
    EXPECT_EQ(identifier_of(200), "");
    // A name without the newline counts just the same.
    sg.set_proc_name(1, "scsi_debug");
    EXPECT_EQ(identifier_of(1), "scsi_debug");
}

TEST_F(LinuxSgEnumeration, LongDriverNamesStayInsideTheBlock) {
    sg.add_device(0, 0, 0, 0, make_disk());
    ASSERT_EQ(start(), 0x0101u);
    sg.set_proc_name(0, std::string(300, 'n') + "\n");

    struct Guarded {
        SRB_HAInquiry srb;
        std::uint8_t after[32];
    } block{};
    std::memset(block.after, 0xCC, sizeof block.after);
    block.srb.SRB_Cmd = SC_HA_INQUIRY;
    block.srb.HA_Rsvd1 = 0xBEEF;
    aspi_send_and_wait(&block.srb);
    EXPECT_EQ(std::string(block.srb.HA_Identifier, block.srb.HA_Identifier + 16),
              std::string(16, 'n'));
    EXPECT_EQ(block.srb.HA_Unique[0], 0x07);  // the field after it is the emulation's own
    EXPECT_EQ(block.srb.HA_Rsvd1, 0xBEEF);
    for (std::uint8_t byte : block.after) ASSERT_EQ(byte, 0xCC);

    // Exactly 16 characters fill the field; the zero does not fit and is not written over
    // the next field.
    sg.set_proc_name(0, "sixteen_chars_xx\n");
    EXPECT_EQ(identifier_of(0), "sixteen_chars_xx");
}

TEST_F(LinuxSgEnumeration, UnloadClosesEveryNodeOnceAndEmptiesTheTable) {
    sg.add_device(0, 0, 0, 0, make_disk());
    sg.add_device(0, 1, 1, 0, make_disk());
    sg.add_device(3, 0, 2, 0, make_cdrom());
    ASSERT_EQ(start(), 0x0105u);
    EXPECT_EQ(sg.open_handles(), 3u);
    expect_every_node_closed_once();
    for (const SimSgOpenRecord& open : sg.opens()) EXPECT_EQ(sg.close_count(open.handle), 1u);
    // Unloading again closes nothing more.
    aspi_unload();
    EXPECT_EQ(sg.double_closes(), 0u);
}

TEST_F(LinuxSgEnumeration, WithoutTheSgSeamNothingIsFound) {
    Platform platform = sim.seams();  // a Linux identity but no sg driver
    install_platform(platform);
    EXPECT_EQ(start(), 1u);
    std::uint8_t data[36] = {};
    SRB_ExecSCSICmd srb =
        exec_request(0, 0, 0, {0x12, 0, 0, 0, 36, 0}, SRB_DIR_IN, data, sizeof data);
    EXPECT_EQ(aspi_send_and_wait(&srb), SS_NO_DEVICE);
    EXPECT_EQ(identifier_of(0), "");
}

TEST_F(LinuxSgEnumeration, TheNtFamilyStillUsesTheNtEmulation) {
    sg.add_device(0, 0, 0, 0, make_disk());
    sim.identity.set_family(PlatformFamily::windows_nt);
    EXPECT_EQ(start(), 1u);  // the simulated NT system is empty
    EXPECT_TRUE(sg.opens().empty());
    EXPECT_FALSE(sim.nt.opens().empty());
}

}  // namespace
}  // namespace korvel
