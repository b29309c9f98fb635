// The command library started on the sg provider: adapters, standard commands and bridge
// identification as the window's scan uses them, over a simulated sg driver.
#include <cstring>

#include "lib_aspi.h"
#include "lib_aspi_bridge.h"
#include "lib_aspi_transfer.h"
#include "linux_sg_fixture.h"
#include "sim_bridge_catalog.h"

namespace korvel {
namespace {

class LinuxSgCommands : public LinuxSgTest {
protected:
    void TearDown() override {
        scsi_stop();
        LinuxSgTest::TearDown();
    }
};

TEST_F(LinuxSgCommands, StartFailsWhenNoNodeCanBeOpened) {
    const std::string disk = sg.add_device(0, 0, 0, 0, make_disk());
    sg.refuse_open(disk);
    EXPECT_EQ(scsi_start(), -1);
}

TEST_F(LinuxSgCommands, AScanFindsTheBridgeAndPassesOverOrdinaryDevices) {
    auto disk = make_plain_disk_with_capacity(131071, 512);
    auto cdrom = make_cdrom_with_disc();
    auto bridge = make_bridge(FAMILY_PV40);
    ASSERT_TRUE(bridge);
    sg.add_device(0, 0, 0, 0, disk);
    sg.add_device(0, 0, 3, 0, cdrom);
    sg.add_device(1, 0, 5, 0, bridge);
    sg.set_proc_name(0, "sym53c8xx\n");
    sg.set_proc_name(1, "scsi_debug\n");

    ASSERT_EQ(scsi_start(), 2);
    EXPECT_EQ(adapter_count(), 2);
    char identifier[ADAPTER_IDENTIFIER_CAPACITY];
    adapter_identifier(0, identifier);
    EXPECT_STREQ(identifier, "sym53c8xx");
    adapter_identifier(1, identifier);
    EXPECT_STREQ(identifier, "scsi_debug");
    adapter_identifier(2, identifier);
    EXPECT_STREQ(identifier, "");

    std::int32_t type = 0;
    std::int32_t removable = 0;
    std::int32_t family = 0;
    char model[BRIDGE_MODEL_CAPACITY] = "untouched";
    char vendor[VENDOR_TEXT_CAPACITY];
    char product[PRODUCT_TEXT_CAPACITY];
    char revision[REVISION_TEXT_CAPACITY];

    scsi_inquiry(0, 0, 0, type, removable, family, model, vendor, product, revision);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(removable, 0);
    EXPECT_STREQ(vendor, "IBM     ");
    std::uint32_t blocks = 0;
    std::uint32_t block_length = 0;
    scsi_read_capacity(0, 0, 0, &blocks, &block_length);
    EXPECT_EQ(blocks, 131072u);
    EXPECT_EQ(block_length, 512u);
    identify_bridge(0, 0, 0, family, model, nullptr, nullptr);
    EXPECT_EQ(family, FAMILY_NONE);

    scsi_inquiry(0, 3, 0, type, removable, family, model, vendor, product, revision);
    EXPECT_EQ(type, 5);
    EXPECT_EQ(removable, 1);
    identify_bridge(0, 3, 0, family, model, nullptr, nullptr);
    EXPECT_EQ(family, FAMILY_NONE);
    EXPECT_STREQ(model, "untouched");

    identify_bridge(1, 5, 0, family, model, nullptr, nullptr);
    EXPECT_EQ(family, FAMILY_PV40);

    // An empty address: the inquiry fails as on any platform.
    scsi_inquiry(0, 6, 0, type, removable, family, model, vendor, product, revision);
    EXPECT_EQ(type, -1);
    EXPECT_STREQ(vendor, "");
}

TEST_F(LinuxSgCommands, TheHelpersScanKeepsBridgesAloneAndTheirUserSeesEveryAdapter) {
    const std::string disk = sg.add_device(0, 0, 0, 0, make_plain_disk_with_capacity(131071, 512));
    const std::string pv40 = sg.add_device(1, 0, 5, 0, make_bridge(FAMILY_PV40));
    const std::string pv20 = sg.add_device(2, 0, 3, 0, make_bridge(FAMILY_PV20_QTRL));
    const std::string cdrom = sg.add_device(3, 1, 0, 0, make_cdrom_with_disc());
    const char* drivers[] = {"ata_piix\n", "sym53c8xx\n", "aic7xxx\n", "mptspi\n"};
    for (std::uint32_t host = 0; host < 4; ++host) sg.set_proc_name(host, drivers[host]);
    const auto adapters = [] {
        std::string names;
        char identifier[ADAPTER_IDENTIFIER_CAPACITY];
        for (int host = 0; host < adapter_count(); ++host) {
            adapter_identifier(static_cast<std::uint8_t>(host), identifier);
            names += std::string(identifier) + ",";
        }
        return names;
    };

    // Root opens every node; the scan the helper runs names the two bridges and nothing else.
    ASSERT_EQ(scsi_start(), 5);  // the second channel of host 3 is host 4
    BridgeNode found[4] = {};
    ASSERT_EQ(find_bridge_nodes(found, 4), 2u);
    EXPECT_EQ(sg.handle_name(found[0].handle), pv40);
    EXPECT_EQ(found[0].family_code, FAMILY_PV40);
    EXPECT_EQ(sg.handle_name(found[1].handle), pv20);
    EXPECT_EQ(found[1].family_code, FAMILY_PV20_QTRL);
    const std::string root_adapters = adapters();
    EXPECT_EQ(root_adapters, "ata_piix,sym53c8xx,aic7xxx,mptspi,mptspi,");
    scsi_stop();

    // The user holds the bridges' nodes alone, and sysfs says where the others sit: the same
    // adapters under the same numbers, the other devices out of reach.
    sg.refuse_open(disk);
    sg.refuse_open(cdrom);
    sg.publish_sysfs_addresses();
    ASSERT_EQ(scsi_start(), 5);
    EXPECT_EQ(adapters(), root_adapters);
    EXPECT_EQ(find_bridge_nodes(found, 4), 2u);
    EXPECT_EQ(node_at(0, 0), "");
    EXPECT_EQ(node_at(4, 0), "");
}

TEST_F(LinuxSgCommands, AVendorWriteToAnOrdinaryDiskFailsWithItsSense) {
    auto disk = make_plain_disk_with_capacity(2047, 512);
    sg.add_device(0, 0, 0, 0, disk);
    ASSERT_EQ(scsi_start(), 1);
    std::uint8_t image[512] = {};
    EXPECT_EQ(write_buffer_78(0, 0, 0, 0, sizeof image, image), -1);
    const std::vector<SimJournalEntry> journal = disk->journal();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.back().cdb[0], 0x3B);
    EXPECT_EQ(journal.back().cdb[1], 0x17);
    EXPECT_EQ(journal.back().status, SCSI_STATUS_CHECK_CONDITION);
}

}  // namespace
}  // namespace korvel
