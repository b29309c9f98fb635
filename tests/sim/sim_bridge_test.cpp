// The simulated bridges: recognised by the real command library over the simulated platform,
// keeping what the firmware transfer commands write, rejecting malformed buffer commands, and
// the faults the family tests rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lib_aspi.h"
#include "lib_aspi_bridge.h"
#include "lib_aspi_transfer.h"
#include "sim_bridge.h"
#include "sim_bridge_catalog.h"
#include "sim_device_catalog.h"
#include "sim_platform.h"

namespace korvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 8));
    }
    return bytes;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

std::size_t vpd_requests(const SimDevice& device) {
    const auto journal = device.journal();
    return static_cast<std::size_t>(std::count_if(journal.begin(), journal.end(), [](const auto& e) {
        return e.cdb.size() == 6 && e.cdb[0] == 0x12 && (e.cdb[1] & 0x01) != 0;
    }));
}

/// What the window's scan learns about the one device at host 0, target 4, plus what the
/// update workflow's after-update command gets.
struct ScanResult {
    std::int32_t type = 99, removable = 99, standard_family = 99;
    char standard_model[INQUIRY_MODEL_CAPACITY] = "";
    char vendor[VENDOR_TEXT_CAPACITY] = "";
    char product[PRODUCT_TEXT_CAPACITY] = "";
    char revision[REVISION_TEXT_CAPACITY] = "";
    std::int32_t family = 99;
    char model[BRIDGE_MODEL_CAPACITY] = "";
    std::uint8_t wide = 99;
    std::int32_t rate = 99;
    std::size_t page_requests = 0;
    std::uint32_t blocks = 99, block_length = 99;
    int sub_channel = 99;
};

/// Lays the device out on SCSI port 0 of the simulated NT system (the pass-through emulation
/// finds it there) and asks it what the scan asks every target.
ScanResult scan(const std::shared_ptr<SimDevice>& device) {
    ScanResult r;
    SimPlatform sim;
    sim.nt.lay_out_port(0, "aic78xx", {{0, 4, 0, device}});
    sim.install();
    EXPECT_EQ(scsi_start(), 1);
    scsi_inquiry(0, 4, 0, r.type, r.removable, r.standard_family, r.standard_model, r.vendor,
                 r.product, r.revision);
    device->clear_journal();
    identify_bridge(0, 4, 0, r.family, r.model, &r.wide, &r.rate);
    r.page_requests = vpd_requests(*device);
    scsi_read_capacity(0, 4, 0, &r.blocks, &r.block_length);
    r.sub_channel = read_sub_channel(0, 4, 0);
    scsi_stop();
    return r;
}

struct ExpectedBridge {
    std::int32_t family;
    SimChipPlacement placement;
    const char* model;
    std::uint8_t wide;
    std::int32_t rate;
    std::size_t page_requests;  // 1: page 0x83, 2: page 0x50, 3: page 0xC3
    std::int32_t type;
    std::int32_t removable;
    std::uint32_t blocks;  // 0: no capacity (no medium, or not a drive)
};

TEST(SimBridgeCatalogue, EveryBridgeIsRecognisedWithItsFamilyModelAndBus) {
    using P = SimChipPlacement;
    const ExpectedBridge cases[] = {
        {1, P::at_44, "PV20-QTRLC-G", 0, 10, 1, 5, 1, 0},
        {2, P::at_44, "PV20-QTWDC-P", 0, 10, 1, 0, 0, 2503872},
        {3, P::at_44, "PV20-QTVNB-V", 0, 20, 2, 5, 1, 0},
        {4, P::at_44, "PV70-QMV2-A1", 0, 0, 3, 3, 0, 0},
        {5, P::at_44, "PV30-QTRLC-0B1", 0, 20, 1, 5, 1, 0},
        {6, P::at_44, "PV40-QTRLB-0E1", 1, 80, 1, 0, 0, 16514064},
        {7, P::at_44, "PV50S160-C-1D1", 1, 160, 1, 0, 0, 78165360},
        {7, P::at_56, "PV50S320-C10", 1, 320, 1, 0, 0, 78165360},
        {7, P::at_24, "PV50S20 -B10", 0, -1, 1, 0, 0, 78165360},
        {8, P::at_44, "PV50-9271B-1A0", 1, 160, 3, 5, 1, 0},
        {8, P::at_24, "PV50-9271B-1A", 0, -1, 3, 5, 1, 0},
        {20, P::at_44, "PV40-QTZFA-0E2", 1, 160, 2, 0, 0, 39102336},
        {21, P::at_44, "PV30-QTRLC-0A1", 1, 40, 1, 0, 0, 8388608},
        {22, P::at_44, "PV30-QTRLD-0C2", 0, 20, 2, 0, 1, 196608},
    };
    std::vector<std::int32_t> covered;
    for (const ExpectedBridge& c : cases) {
        const std::string label = std::to_string(c.family) + " " + c.model;
        auto bridge = make_bridge(c.family, {.placement = c.placement});
        ASSERT_NE(bridge, nullptr) << label;
        const ScanResult r = scan(bridge);

        EXPECT_EQ(r.family, c.family) << label;
        EXPECT_STREQ(r.model, c.model) << label;
        EXPECT_EQ(r.wide, c.wide) << label;
        EXPECT_EQ(r.rate, c.rate) << label;
        EXPECT_EQ(r.page_requests, c.page_requests) << label;
        EXPECT_EQ(r.type, c.type) << label;
        EXPECT_EQ(r.removable, c.removable) << label;
        EXPECT_EQ(r.blocks, c.blocks) << label;
        EXPECT_EQ(r.block_length, c.blocks == 0 ? 0u : 512u) << label;
        EXPECT_EQ(r.sub_channel, 0) << label;  // the after-update command completes

        // Family tests take the model text from the profile: it must be what the scan sees.
        EXPECT_EQ(bridge->profile().family_code, c.family) << label;
        EXPECT_EQ(bridge->profile().model_text, c.model) << label;
        EXPECT_EQ(bridge->kind(), c.family == 4 ? SimBoardKind::copier : SimBoardKind::bridge);
        covered.push_back(c.family);
    }
    for (std::int32_t code : sim_bridge_family_codes()) {
        EXPECT_NE(std::find(covered.begin(), covered.end(), code), covered.end()) << code;
    }
    EXPECT_EQ(make_bridge(9), nullptr);
}

TEST(SimBridgeCatalogue, StandardInquiryNamesTheBridgeWhereEachFamilyReadsIt) {
    // PV20: recognised from the standard data alone; the drive behind it at bytes 8-35, the
    // bridge's own texts at 56-83.
    ScanResult pv20 = scan(make_bridge(3));
    EXPECT_EQ(pv20.standard_family, 3);
    EXPECT_STREQ(pv20.standard_model, "PV20-QTVNB-V");
    EXPECT_STREQ(pv20.vendor, "KORVEL  ");
    EXPECT_STREQ(pv20.product, "PV20 IDE BRIDGE ");
    EXPECT_STREQ(pv20.revision, "1.12");
    const auto pv20_data = make_bridge(3)->inquiry_data();
    EXPECT_EQ(std::string(pv20_data.begin() + 8, pv20_data.begin() + 16), "MITSUMI ");

    // Other bridges: identity at the usual places and no family in the standard data.
    ScanResult pv40 = scan(make_bridge(20));
    EXPECT_EQ(pv40.standard_family, 0);
    EXPECT_STREQ(pv40.vendor, "KORVEL  ");
    EXPECT_STREQ(pv40.product, "PV40 IDE BRIDGE ");
    EXPECT_STREQ(pv40.revision, "3.10");

    // PV50 (code 7): bytes 23-31 carry "BRIDGE" and the bus speed digits of its model text.
    const struct {
        SimChipPlacement placement;
        const char* tail;
    } pv50[] = {{SimChipPlacement::at_44, "BRIDGE160"},
                {SimChipPlacement::at_56, "BRIDGE320"},
                {SimChipPlacement::at_24, "BRIDGE20 "}};
    for (const auto& c : pv50) {
        const auto data = make_bridge(7, {.placement = c.placement})->inquiry_data();
        EXPECT_EQ(std::string(data.begin() + 23, data.begin() + 32), c.tail);
    }
    // The bytes-56 board keeps its product code at bytes 61-63 of page 0x83.
    auto at_56 = make_bridge(7, {.placement = SimChipPlacement::at_56});
    Bytes page(248);
    SimCommand ask{{}, {}, SimDirection::in, page.data(), 248};
    const std::uint8_t cdb[] = {0x12, 0x01, 0x83, 0x00, 0xF8, 0x00};
    ask.cdb = cdb;
    ASSERT_EQ(at_56->deliver(ask).result.status, SCSI_STATUS_GOOD);
    EXPECT_EQ(std::string(page.begin() + 56, page.begin() + 64), "PV50S320");
}

TEST(SimBridgeCatalogue, OptionsChangeWhatTheRecognitionRulesSee) {
    // A PV30 of kind QTHX, a lower-case PV40 tag, and a PV20 of an unknown kind.
    ScanResult qthx = scan(make_bridge(5, {.model = "PV30-QTHXC-0C1"}));
    EXPECT_EQ(qthx.family, 5);  // "C" at byte 56 counts only with QTRL
    ScanResult lower = scan(make_bridge(20, {.model = "pv40-qtzfa-0e2", .page = 0xC3}));
    EXPECT_EQ(lower.family, 20);
    EXPECT_EQ(lower.page_requests, 3u);
    ScanResult unknown = scan(make_bridge(1, {.model = "PV20-QTXXC-G", .page = 0xC3}));
    EXPECT_EQ(unknown.family, 0);
    EXPECT_EQ(unknown.standard_family, 0);
    EXPECT_STREQ(unknown.model, "PV20-QTXXC-G");  // the last page named a chip: a model
    EXPECT_EQ(unknown.page_requests, 3u);

    ScanResult no_block =
        scan(make_bridge(6, {.capability = std::array<std::uint8_t, 3>{0, 0, 0}}));
    EXPECT_EQ(no_block.family, 6);
    EXPECT_EQ(no_block.wide, 0);
    EXPECT_EQ(no_block.rate, -1);

    ScanResult cdrom_pv40 =
        scan(make_bridge(6, SimBridgeOptions{}
                                .with_device_type(SIM_TYPE_CDROM)
                                .with_capacity({1000, 2048})));
    EXPECT_EQ(cdrom_pv40.type, 5);
    EXPECT_EQ(cdrom_pv40.removable, 1);
    EXPECT_EQ(cdrom_pv40.blocks, 1001u);
    EXPECT_EQ(cdrom_pv40.block_length, 2048u);
}

TEST(SimBridgeCatalogue, PlainDrivesAreNotBridges) {
    const struct {
        const char* name;
        std::shared_ptr<SimDevice> device;
        std::int32_t type, removable;
        std::uint32_t blocks, block_length;
        int sub_channel;
    } cases[] = {
        {"disk", make_plain_disk_with_capacity(17916239), 0, 0, 17916240, 512, -1},
        {"removable disk", make_removable_disk(), 0, 1, 196608, 512, -1},
        {"cd-rom", make_cdrom_with_disc(), 5, 1, 333001, 2048, 0},
    };
    for (const auto& c : cases) {
        const ScanResult r = scan(c.device);
        EXPECT_EQ(r.family, 0) << c.name;
        EXPECT_EQ(r.standard_family, 0) << c.name;
        EXPECT_EQ(r.page_requests, 3u) << c.name;
        EXPECT_EQ(r.type, c.type) << c.name;
        EXPECT_EQ(r.removable, c.removable) << c.name;
        EXPECT_EQ(r.blocks, c.blocks) << c.name;
        EXPECT_EQ(r.block_length, c.block_length) << c.name;
        EXPECT_EQ(r.sub_channel, c.sub_channel) << c.name;
    }
}

/// The command library started over the simulated ASPI library, a bridge at host 0 target 2.
class SimBridgeTransfer : public ::testing::Test {
protected:
    void attach(std::shared_ptr<SimBridge> device) {
        bridge = std::move(device);
        sim.identity.set_family(PlatformFamily::windows_9x);
        sim.aspi.add_host("AHA-2940UW");
        sim.aspi.attach(0, 2, 0, bridge);
        sim.install();
        ASSERT_EQ(scsi_start(), 1);
    }
    void TearDown() override { scsi_stop(); }

    SimPlatform sim;
    std::shared_ptr<SimBridge> bridge;
};

TEST_F(SimBridgeTransfer, EachBufferKeepsWhatWasWrittenAndReadsItBack) {
    attach(make_bridge(20));
    const Bytes a = pattern(0x1000, 1), b = pattern(0x1000, 2), c = pattern(0x1000, 3),
                d = pattern(0x1000, 4), e = pattern(0x1000, 5);
    ASSERT_EQ(write_buffer_71(0, 2, 0, 0, 0, nullptr), 0);
    ASSERT_EQ(write_buffer_78(0, 2, 0, 0, 0x1000, a.data()), 0);
    ASSERT_EQ(write_buffer_78_upper(0, 2, 0, 0, 0x1000, b.data()), 0);
    ASSERT_EQ(write_buffer_7c(0, 2, 0, 1, 0x0200, 0x1000, c.data()), 0);
    ASSERT_EQ(write_buffer_7c(0, 2, 0, 2, 0x0200, 0x1000, d.data()), 0);
    ASSERT_EQ(write_buffer_76(0, 2, 0, 0, 0x1000, e.data()), 0);

    Bytes back(0x1000);
    ASSERT_EQ(read_buffer_78(0, 2, 0, 0, 0x1000, back.data()), 0);
    EXPECT_EQ(back, a) << "the upper write must not land in the lower area";
    ASSERT_EQ(read_buffer_7c(0, 2, 0, 0, 0x0200, 0x1000, back.data()), 0);
    EXPECT_EQ(back, c);
    ASSERT_EQ(read_buffer_7c(0, 2, 0, 2, 0x0200, 0x1000, back.data()), 0);
    EXPECT_EQ(back, d);
    ASSERT_EQ(read_buffer_7c(0, 2, 0, 1, 0x01FF, 2, back.data()), 0);
    EXPECT_EQ(back[0], SIM_ERASED_BYTE) << "byte before the written range";
    EXPECT_EQ(back[1], c[0]);

    EXPECT_EQ(slice(bridge->memory(0x78), 0, 0x1000), a);
    EXPECT_EQ(slice(bridge->upper_memory(), 0, 0x1000), b);
    EXPECT_EQ(slice(bridge->memory(0x7C), 0x200, 0x1000), c);
    EXPECT_EQ(slice(bridge->memory(0x7D), 0x200, 0x1000), d);
    EXPECT_EQ(slice(bridge->memory(0x76), 0, 0x1000), e);
    EXPECT_EQ(bridge->written_buffers(), (Bytes{0x76, 0x78, 0x7C, 0x7D}));
    EXPECT_TRUE(bridge->upper_written());
    EXPECT_TRUE(bridge->memory(0x71).empty());
    EXPECT_TRUE(bridge->board_memory().empty());
}

TEST_F(SimBridgeTransfer, WholeImagesOfEachFamilySizeFitTheirBuffers) {
    attach(make_bridge(20));
    // A two-section PV40 write: 48 KiB per section.
    const Bytes one = pattern(0xC000, 7), two = pattern(0xC000, 9);
    ASSERT_EQ(write_buffer_7c(0, 2, 0, 1, 0, 0xC000, one.data()), 0);
    ASSERT_EQ(write_buffer_7c(0, 2, 0, 2, 0, 0xC000, two.data()), 0);
    Bytes back(0xC000);
    ASSERT_EQ(read_buffer_7c(0, 2, 0, 1, 0, 0xC000, back.data()), 0);
    EXPECT_EQ(back, one);
    ASSERT_EQ(read_buffer_7c(0, 2, 0, 2, 0, 0xC000, back.data()), 0);
    EXPECT_EQ(back, two);
    // The 16-bit form cannot name a length above 0xFFFF: the bridge sees a length field that
    // disagrees with the data phase and refuses it.
    const Bytes big = pattern(0x10010, 1);
    EXPECT_EQ(write_buffer_78(0, 2, 0, 0, 0x10010, big.data()), -1);
    EXPECT_EQ(bridge->written_buffers(), (Bytes{0x7C, 0x7D}));
}

TEST_F(SimBridgeTransfer, CopierBoardTakesTheImageAtAbsoluteAddresses) {
    attach(make_bridge(4));
    const Bytes image = pattern(0x80000, 0x33);
    Bytes back(0x80000);
    for (std::uint32_t o = 0; o < 0x80000; o += 0x8000) {
        ASSERT_EQ(write_buffer_64(0, 2, 0, SIM_BOARD_BASE + o, 0x8000, image.data() + o), 0) << o;
        ASSERT_EQ(read_buffer_62(0, 2, 0, SIM_BOARD_BASE + o, 0x8000, back.data() + o), 0) << o;
    }
    EXPECT_EQ(back, image);
    EXPECT_EQ(write_buffer_61(0, 2, 0, SIM_BOARD_BASE), 0);
    EXPECT_EQ(bridge->finish_values(), (std::vector<std::uint32_t>{SIM_BOARD_BASE}));
    const Bytes board = bridge->board_memory();
    EXPECT_EQ(slice(board, 0, 0x80000), image);
    EXPECT_EQ(board[0x80000], SIM_ERASED_BYTE);
    EXPECT_EQ(bridge->written_buffers(), (Bytes{0x64}));

    // Below the base, past the end, and the bridges' buffers are not the board's.
    EXPECT_EQ(read_buffer_62(0, 2, 0, SIM_BOARD_BASE - 0x8000, 0x8000, back.data()), -1);
    EXPECT_EQ(write_buffer_64(0, 2, 0, SIM_BOARD_BASE + SIM_BOARD_SIZE - 0x4000, 0x8000,
                              image.data()),
              -1);
    EXPECT_EQ(read_buffer_78(0, 2, 0, 0, 0x100, back.data()), -1);
    EXPECT_EQ(write_buffer_71(0, 2, 0, 0, 0, nullptr), -1);
    EXPECT_TRUE(bridge->memory(0x78).empty());
}

TEST_F(SimBridgeTransfer, CorruptedReadsInvertOnlyTheFirstByteOfTheChosenReads) {
    attach(make_bridge(5));
    const Bytes image = pattern(0x400, 0x40);
    ASSERT_EQ(write_buffer_78(0, 2, 0, 0, 0x400, image.data()), 0);
    bridge->corrupt_reads(2, 1);
    // A read that fails does not use up a corruption.
    bridge->inject_check_condition(1, fixed_sense(SIM_SENSE_HARDWARE_ERROR, 0x44, 0),
                                   {0x3C, 0x17, 0x78});

    Bytes back(0x400);
    EXPECT_EQ(read_buffer_78(0, 2, 0, 0, 0x400, back.data()), -1);
    std::vector<bool> intact;
    for (int i = 0; i < 4; ++i) {
        std::fill(back.begin(), back.end(), 0);
        ASSERT_EQ(read_buffer_78(0, 2, 0, 0, 0x400, back.data()), 0);
        intact.push_back(back == image);
        EXPECT_EQ(back[0] ^ image[0], intact.back() ? 0 : 0xFF);
        EXPECT_TRUE(std::equal(back.begin() + 1, back.end(), image.begin() + 1));
    }
    EXPECT_EQ(intact, (std::vector<bool>{true, false, false, true}));
    EXPECT_EQ(bridge->corrupt_reads_pending(), 0u);
    EXPECT_EQ(slice(bridge->memory(0x78), 0, 0x400), image) << "memory itself is sound";
}

TEST_F(SimBridgeTransfer, InjectedFaultsCountEveryMatchingCommandAndSendPv50ToTheUpperArea) {
    attach(make_bridge(7));
    // The scan's page request uses up a fault meant for it, whoever sends it.
    bridge->inject_check_condition(1, fixed_sense(SIM_SENSE_UNIT_ATTENTION, 0x29, 0),
                                   {0x12, 0x01, 0x83});
    std::int32_t family = 0;
    char model[BRIDGE_MODEL_CAPACITY] = "";
    identify_bridge(0, 2, 0, family, model, nullptr, nullptr);
    EXPECT_EQ(family, 0) << "page 0x83 failed, and the board has no other page";
    identify_bridge(0, 2, 0, family, model, nullptr, nullptr);
    EXPECT_EQ(family, 7);

    // Three refused lower writes, then the upper one: the PV50 fallback.
    bridge->inject_check_condition(3, fixed_sense(SIM_SENSE_HARDWARE_ERROR, 0x0C, 0x02),
                                   {0x3B, 0x17, 0x78, 0x00});
    const Bytes image = pattern(0x5000, 0x11);
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(write_buffer_78(0, 2, 0, 0, 0x5000, image.data()), -1);
    }
    EXPECT_EQ(write_buffer_78_upper(0, 2, 0, 0, 0x5000, image.data()), 0);
    EXPECT_EQ(slice(bridge->upper_memory(), 0, 0x5000), image);
    EXPECT_EQ(bridge->memory(0x78)[0], SIM_ERASED_BYTE);

    bridge->inject_busy(1, {0x3B});
    EXPECT_EQ(write_buffer_71(0, 2, 0, 0, 0, nullptr), -1);
    EXPECT_EQ(write_buffer_71(0, 2, 0, 0, 0, nullptr), 0);
    bridge->set_removed(true);
    EXPECT_EQ(write_buffer_78(0, 2, 0, 0, 0x5000, image.data()), -1);
}

/// One command straight to the device, as the transports deliver it.
SimResult send(SimBridge& bridge, Bytes cdb, Bytes& data, SimDirection direction) {
    SimCommand command;
    command.cdb = cdb;
    command.direction = direction;
    command.data = data.empty() ? nullptr : data.data();
    command.length = static_cast<std::uint32_t>(data.size());
    return bridge.deliver(command).result;
}

TEST(SimBridge, MalformedBufferCommandsAreIllegalRequestsAndStoreNothing) {
    auto bridge = make_bridge(6);
    auto board = make_bridge(4);
    const auto in = SimDirection::in, out = SimDirection::out;
    const struct {
        const char* name;
        SimBridge& device;
        Bytes cdb;
        std::uint32_t data_length;
        SimDirection direction;
    } cases[] = {
        {"data mode 0x02", *bridge, {0x3B, 0x02, 0x78, 0, 0, 0, 0, 0x01, 0, 0}, 0x100, out},
        {"unknown buffer", *bridge, {0x3B, 0x17, 0x79, 0, 0, 0, 0, 0x01, 0, 0}, 0x100, out},
        {"read of 0x79", *bridge, {0x3C, 0x17, 0x79, 0, 0, 0, 0, 0x01, 0, 0}, 0x100, in},
        {"PV20 buffer read", *bridge, {0x3C, 0x17, 0x76, 0, 0, 0, 0, 0x01, 0, 0}, 0x100, in},
        {"length field short", *bridge, {0x3B, 0x17, 0x78, 0, 0, 0, 0, 0x01, 0, 0}, 0x200, out},
        {"length field long", *bridge, {0x3C, 0x17, 0x78, 0, 0, 0, 0, 0x02, 0, 0}, 0x100, in},
        {"past the area", *bridge, {0x3B, 0x17, 0x7C, 0x01, 0xFF, 0x01, 0, 0x01, 0, 0}, 0x100, out},
        {"past upper", *bridge, {0x3B, 0x17, 0x78, 0x09, 0xFF, 0x01, 0, 0x01, 0, 0}, 0x100, out},
        {"between areas", *bridge, {0x3C, 0x17, 0x78, 0x04, 0, 0, 0, 0x01, 0, 0}, 0x100, in},
        {"write as data-in", *bridge, {0x3B, 0x17, 0x78, 0, 0, 0, 0, 0x01, 0, 0}, 0x100, in},
        {"read as data-out", *bridge, {0x3C, 0x17, 0x78, 0, 0, 0, 0, 0x01, 0, 0}, 0x100, out},
        {"preamble with data", *bridge, {0x3B, 0x17, 0x71, 0, 0, 0, 0, 0x01, 0, 0}, 0x100, out},
        {"finish on a bridge", *bridge, {0x3B, 0x17, 0x61, 0x10, 0, 0, 0, 0, 0, 0}, 0, out},
        {"six-byte form", *bridge, {0x3C, 0x17, 0x78, 0, 0, 0}, 0, in},
        {"board below base", *board, {0x3B, 0x17, 0x64, 0x0F, 0xFF, 0, 0, 0x01, 0, 0}, 0x100,
         out},
        {"board past end", *board, {0x3C, 0x17, 0x62, 0x1F, 0xFF, 0x01, 0, 0x01, 0, 0}, 0x100, in},
        {"board read with 0x64", *board, {0x3C, 0x17, 0x64, 0x10, 0, 0, 0, 0x01, 0, 0}, 0x100, in},
        {"preamble on a board", *board, {0x3B, 0x17, 0x71, 0, 0, 0, 0, 0, 0, 0}, 0, out},
        {"finish with data", *board, {0x3B, 0x17, 0x61, 0x10, 0, 0, 0, 0x01, 0, 0}, 0x100, out},
    };
    for (const auto& c : cases) {
        Bytes data(c.data_length, 0xA5);
        const SimResult r = send(c.device, c.cdb, data, c.direction);
        EXPECT_EQ(r.status, SCSI_STATUS_CHECK_CONDITION) << c.name;
        EXPECT_EQ(r.sense[2], SIM_SENSE_ILLEGAL_REQUEST) << c.name;
        EXPECT_EQ(r.sense[12], SIM_ASC_INVALID_FIELD_IN_CDB) << c.name;
        EXPECT_EQ(r.transferred, 0u) << c.name;
        if (c.direction == in) {
            EXPECT_TRUE(std::all_of(data.begin(), data.end(), [](auto b) { return b == 0xA5; }))
                << c.name << ": nothing read";
        }
    }
    EXPECT_TRUE(bridge->written_buffers().empty());
    EXPECT_FALSE(bridge->upper_written());
    EXPECT_TRUE(board->written_buffers().empty());
    EXPECT_TRUE(board->finish_values().empty());

    // The last byte of each area is still reachable.
    Bytes last{0x42};
    EXPECT_EQ(send(*bridge, {0x3B, 0x17, 0x78, 0x09, 0xFF, 0xFF, 0, 0, 0x01, 0}, last, out).status,
              SCSI_STATUS_GOOD);
    EXPECT_EQ(bridge->upper_memory().back(), 0x42);
    EXPECT_EQ(send(*board, {0x3B, 0x17, 0x64, 0x1F, 0xFF, 0xFF, 0, 0, 0x01, 0}, last, out).status,
              SCSI_STATUS_GOOD);
    EXPECT_EQ(board->board_memory().back(), 0x42);
}

}  // namespace
}  // namespace korvel
