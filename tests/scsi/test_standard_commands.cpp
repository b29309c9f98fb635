// Start, host adapter inquiries and the standard commands: the request blocks they send and
// how they read the answers.
#include <cstring>

#include "scsi_test_support.h"

namespace korvel {
namespace {

using scsi_test::BufferDevice;
using scsi_test::LibraryModeTest;
using scsi_test::only_command;
using scsi_test::page_with;
using Bytes = std::vector<std::uint8_t>;

TEST(ScsiStart, ReportsTheHostCountOnlyWhenTheStatusByteIsComplete) {
    {
        SimPlatform sim;
        sim.identity.set_family(PlatformFamily::windows_9x);
        sim.aspi.set_support_info(0x0102);
        sim.install();
        EXPECT_EQ(scsi_start(), 2);
        scsi_stop();
        EXPECT_FALSE(sim.aspi.loaded());

        sim.aspi.set_support_info(0x0001);  // count 1 but status byte 0
        EXPECT_EQ(scsi_start(), -1);
        scsi_stop();
    }
    {
        SimPlatform sim;  // the emulation without any device answers 1
        sim.install();
        EXPECT_EQ(scsi_start(), -1);
        scsi_stop();
        sim.nt.lay_out_port(0, "aic78xx", {{0, 2, 0, make_disk()}});
        EXPECT_EQ(scsi_start(), 1);
        scsi_stop();
    }
}

TEST(AdapterInquiry, IdentifierIsCutAtTheFirstControlOrHighByte) {
    SimPlatform sim;
    sim.nt.lay_out_port(0, "ABCDEFGHIJKLMNOP", {{0, 2, 0, make_disk()}});
    sim.nt.set_port_driver(1, "aic\n78xx");
    sim.nt.set_port_driver(2, "ncr\xC0" "810");
    sim.nt.set_port_driver(3, "Sym mpi~");
    sim.install();
    ASSERT_EQ(scsi_start(), 1);
    EXPECT_EQ(adapter_count(), 1);

    const struct {
        std::uint8_t host;
        const char* expected;
    } cases[] = {{0, "ABCDEFGHIJKLMNOP"}, {1, "aic"}, {2, "ncr"}, {3, "Sym mpi~"}, {7, ""}};
    for (const auto& c : cases) {
        char text[ADAPTER_IDENTIFIER_CAPACITY];
        std::memset(text, 'x', sizeof text);
        adapter_identifier(c.host, text);
        EXPECT_STREQ(text, c.expected) << "host " << int{c.host};
    }
    scsi_stop();
}

TEST(AdapterInquiry, CountComesFromHostZeroAndIsZeroWhenRefused) {
    SimPlatform sim;
    sim.identity.set_family(PlatformFamily::windows_9x);
    sim.install();
    ASSERT_EQ(scsi_start(), 0);
    EXPECT_EQ(adapter_count(), 0);  // a library without hosts refuses host 0
    char text[ADAPTER_IDENTIFIER_CAPACITY] = "stale";
    adapter_identifier(0, text);
    EXPECT_STREQ(text, "");

    sim.aspi.add_host("AHA-2940");
    sim.aspi.add_host("NCR 53c810");
    EXPECT_EQ(adapter_count(), 2);
    adapter_identifier(1, text);
    EXPECT_STREQ(text, "NCR 53c810");
    scsi_stop();
}

struct InquiryResult {
    std::int32_t type = 99, removable = 99, family = 99;
    char model[INQUIRY_MODEL_CAPACITY] = "untouched";
    char vendor[VENDOR_TEXT_CAPACITY] = "old";
    char product[PRODUCT_TEXT_CAPACITY] = "old product";
    char revision[REVISION_TEXT_CAPACITY] = "old";
};

InquiryResult inquire(std::uint8_t target, std::uint8_t lun = 0) {
    InquiryResult r;
    scsi_inquiry(0, target, lun, r.type, r.removable, r.family, r.model, r.vendor, r.product,
                 r.revision);
    return r;
}

TEST_F(LibraryModeTest, InquirySendsTheStandardRequestWithTheLunInByteOne) {
    auto cdrom = make_cdrom("TOSHIBA", "CD-ROM XM-6201TA", "1037");
    sim.aspi.attach(0, 4, 3, cdrom);

    const InquiryResult r = inquire(4, 3);
    const SimJournalEntry sent = only_command(*cdrom);
    EXPECT_EQ(sent.cdb, (Bytes{0x12, 0x60, 0x00, 0x00, 0xF8, 0x00}));
    EXPECT_EQ(sent.direction, SimDirection::in);
    EXPECT_EQ(sent.length, 248u);
    EXPECT_EQ(r.type, SIM_TYPE_CDROM);
    EXPECT_EQ(r.removable, 1);
    EXPECT_EQ(r.family, 0);
    EXPECT_STREQ(r.vendor, "TOSHIBA ");  // copied at full width, blanks kept
    EXPECT_STREQ(r.product, "CD-ROM XM-6201TA");
    EXPECT_STREQ(r.revision, "1037");
    EXPECT_STREQ(r.model, "untouched");
}

TEST_F(LibraryModeTest, InquiryRecognisesPv20BridgesWhateverTheCase) {
    Bytes data = page_with({{8, "STANDARD"}, {44, "pv20-qtwd-M1"}, {56, "KORVEL  "},
                            {64, "PV20 BRIDGE     "}, {80, "2.10"}});
    auto bridge = std::make_shared<SimDevice>(data);
    sim.aspi.attach(0, 1, 0, bridge);
    InquiryResult r = inquire(1);
    EXPECT_EQ(r.family, 2);
    EXPECT_STREQ(r.model, "pv20-qtwd-M1");
    EXPECT_STREQ(r.vendor, "KORVEL  ");
    EXPECT_STREQ(r.product, "PV20 BRIDGE     ");
    EXPECT_STREQ(r.revision, "2.10");

    // A tag the library does not know: an ordinary device, model left alone.
    std::memcpy(data.data() + 49, "QTXX", 4);
    bridge->set_inquiry_data(data);
    r = inquire(1);
    EXPECT_EQ(r.family, 0);
    EXPECT_STREQ(r.vendor, "STANDARD");
    EXPECT_STREQ(r.model, "untouched");

    // Bytes a shorter answer leaves out read as zero, not as the previous device's data.
    std::memcpy(data.data() + 49, "QTRL", 4);
    bridge->set_inquiry_data(data);
    EXPECT_EQ(inquire(1).family, 1);
    auto short_answer = std::make_shared<BufferDevice>();
    short_answer->short_answer(scsi_test::STANDARD_INQUIRY,
                               standard_inquiry(SIM_TYPE_DISK, false, "IBM", "DORS", "1"));
    sim.aspi.attach(0, 2, 0, short_answer);
    EXPECT_EQ(inquire(2).family, 0);
}

TEST_F(LibraryModeTest, InquiryOfAnEmptyAddressReportsNoDevice) {
    const InquiryResult r = inquire(6);
    EXPECT_EQ(r.type, -1);
    EXPECT_EQ(r.removable, 0);
    EXPECT_EQ(r.family, 0);
    EXPECT_STREQ(r.vendor, "");
    EXPECT_STREQ(r.product, "old product");
    EXPECT_STREQ(r.revision, "old");
}

TEST_F(LibraryModeTest, ReadCapacityCountsBlocksFromTheLastAddress) {
    auto disk = std::make_shared<BufferDevice>();
    sim.aspi.attach(0, 0, 2, disk);
    std::uint32_t count = 7, length = 7;

    disk->set_capacity(131071, 512);
    scsi_read_capacity(0, 0, 2, &count, &length);
    EXPECT_EQ(count, 131072u);
    EXPECT_EQ(length, 512u);
    const SimJournalEntry sent = only_command(*disk);
    EXPECT_EQ(sent.cdb, (Bytes{0x25, 0x40, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(sent.direction, SimDirection::in);
    EXPECT_EQ(sent.length, 8u);

    disk->set_capacity(0, 2048);  // no medium
    scsi_read_capacity(0, 0, 2, &count, &length);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(length, 2048u);

    disk->set_capacity(0xFFFFFFFE, 512);
    scsi_read_capacity(0, 0, 2, &count, nullptr);
    EXPECT_EQ(count, 0xFFFFFFFFu);

    scsi_read_capacity(0, 9, 0, &count, &length);  // nobody there
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(length, 0u);
}

TEST_F(LibraryModeTest, ReadSubChannelSendsItsFixedRequestAndReportsTheStatus) {
    auto bridge = std::make_shared<BufferDevice>();
    sim.aspi.attach(0, 5, 1, bridge);
    EXPECT_EQ(read_sub_channel(0, 5, 1), 0);
    const SimJournalEntry sent = only_command(*bridge);
    EXPECT_EQ(sent.cdb, (Bytes{0x42, 0x20, 0x40, 0x01, 0x00, 0x00, 0x80, 0x00, 0xF8, 0x00}));
    EXPECT_EQ(sent.direction, SimDirection::in);
    EXPECT_EQ(sent.length, 248u);

    sim.aspi.attach(0, 6, 0, make_disk());  // rejects the operation
    EXPECT_EQ(read_sub_channel(0, 6, 0), -1);
}

}  // namespace
}  // namespace korvel
