// Bridge identification: the page walk, the recognition rules, the model text and the bus
// capability block.
#include <cstring>
#include <string>

#include "lib_aspi_bridge.h"
#include "scsi_test_support.h"

namespace korvel {
namespace {

using scsi_test::LibraryModeTest;
using scsi_test::page_with;
using Bytes = std::vector<std::uint8_t>;

struct Identity {
    std::int32_t family = 99;
    char model[BRIDGE_MODEL_CAPACITY] = "untouched";
    std::uint8_t wide = 99;
    std::int32_t rate = 99;
};

class IdentifyBridge : public LibraryModeTest {
protected:
    // A device on host 0, target 3, LUN 0 answering the given vital product data pages.
    std::shared_ptr<SimDevice> bridge_with(
        std::initializer_list<std::pair<std::uint8_t, Bytes>> pages) {
        auto device = std::make_shared<SimDevice>(make_disk()->inquiry_data());
        for (const auto& [page, data] : pages) device->set_vpd_page(page, data);
        sim.aspi.attach(0, 3, 0, device);
        return device;
    }

    static Identity identify() {
        Identity id;
        identify_bridge(0, 3, 0, id.family, id.model, &id.wide, &id.rate);
        return id;
    }
};

TEST_F(IdentifyBridge, RecognisesEveryFamilyAndTakesItsModelText) {
    struct Case {
        Bytes page;
        std::int32_t family;
        const char* model;
    };
    const Case cases[] = {
        {page_with({{44, "PV20-QTRL-AB"}}), 1, "PV20-QTRL-AB"},
        {page_with({{44, "pv20-qtwd-ab"}}), 2, "pv20-qtwd-ab"},
        {page_with({{44, "PV20-QTVN-AB"}}), 3, "PV20-QTVN-AB"},
        {page_with({{44, "PV70-QMVX-123"}}), 4, "PV70-QMVX-12"},
        {page_with({{44, "PV30-QTRL-01B5"}}), 5, "PV30-QTRL-01B5"},
        {page_with({{44, "PV30-QTRL-01A5"}}), 21, "PV30-QTRL-01A5"},
        {page_with({{44, "PV30-QTRL-01C5"}}), 22, "PV30-QTRL-01C5"},
        {page_with({{44, "PV30-QTRL-01c5"}}), 5, "PV30-QTRL-01c5"},  // the mark is exact
        {page_with({{44, "PV30-QTHX-01C5"}}), 5, "PV30-QTHX-01C5"},
        {page_with({{44, "PV40-QTRL-0001"}}), 6, "PV40-QTRL-0001"},
        {page_with({{44, "PV40-qtzf-0001"}}), 20, "PV40-qtzf-0001"},
        {page_with({{44, "PV50S160-ABCDE"}}), 7, "PV50S160-ABCDE"},
        {page_with({{44, "PV50S20 -ABCDE"}}), 7, "PV50S20 -ABCDE"},
        {page_with({{44, "PV50-9271-XYZW"}}), 8, "PV50-9271-XYZW"},
        // Chip text higher up: model from 24.
        {page_with({{24, "MODEL-AT-24!"}, {56, "PV50S320"}}), 7, "MODEL-AT-24!"},
        // Chip text lower down; "9271" makes the model one byte longer.
        {page_with({{24, "pv50s20 rev1xyz"}}), 7, "pv50s20 rev1"},
        {page_with({{24, "PV50S320REV1"}}), 7, "PV50S320REV1"},
        {page_with({{24, "PV50-9271-AB7Q"}}), 8, "PV50-9271-AB7"},
        // The higher place wins over the lower one.
        {page_with({{24, "PV50-9271-AB7Q"}, {56, "PV50S160"}}), 7, "PV50-9271-AB"},
        // A later rule overrides an earlier match, model settings included.
        {page_with({{24, "PV50-9271-AB7Q"}, {44, "PV20-QTRL-AB"}}), 8, "PV50-9271-AB7"},
        {page_with({{24, "MODEL-AT-24!"}, {44, "PV30-QTRL-01"}, {56, "PV50S160"}}), 7,
         "MODEL-AT-24!"},
    };
    for (const Case& c : cases) {
        auto device = bridge_with({{0x83, c.page}});
        const Identity id = identify();
        const std::string label(c.model);
        EXPECT_EQ(id.family, c.family) << label;
        EXPECT_STREQ(id.model, c.model) << label;
        EXPECT_EQ(device->command_count(), 1u) << label;  // the first page was enough
    }
}

TEST_F(IdentifyBridge, PV50AtTheStartDisablesTheOtherPlaces) {
    // "PV50" at 44 with an unknown designator: the higher and lower places are not looked at.
    bridge_with({{0x83, page_with({{24, "PV50S320"}, {44, "PV50-XXXX-0001"}, {56, "PV50S320"}})}});
    const Identity id = identify();
    EXPECT_EQ(id.family, 0);
    EXPECT_STREQ(id.model, "untouched");  // pages 0x50 and 0xC3 were refused
}

TEST_F(IdentifyBridge, WalksThePagesUntilOneNamesABridge) {
    auto device = std::make_shared<SimDevice>(make_disk()->inquiry_data());
    device->set_vpd_page(0x50, page_with({{44, "PV40-QTZF-0002"}}));
    device->set_vpd_page(0xC3, page_with({{44, "PV20-QTRL-AB"}}));
    sim.aspi.attach(0, 1, 2, device);
    Identity id;
    identify_bridge(0, 1, 2, id.family, id.model, &id.wide, &id.rate);
    EXPECT_EQ(id.family, 20);
    EXPECT_STREQ(id.model, "PV40-QTZF-0002");
    const auto journal = device->journal();
    ASSERT_EQ(journal.size(), 2u);  // page 0x83 refused, 0x50 answered, 0xC3 never asked
    EXPECT_EQ(journal[0].cdb, (Bytes{0x12, 0x41, 0x83, 0x00, 0xF8, 0x00}));  // LUN 2 + EVPD
    EXPECT_EQ(journal[1].cdb, (Bytes{0x12, 0x41, 0x50, 0x00, 0xF8, 0x00}));
    for (const auto& entry : journal) {
        EXPECT_EQ(entry.direction, SimDirection::in);
        EXPECT_EQ(entry.length, 248u);
    }
}

TEST_F(IdentifyBridge, AChipWithoutKnownTagGivesTheLastPagesModelButNoFamily) {
    auto device = bridge_with({{0x83, page_with({{44, "PV20-ABCD-p1"}})},
                               {0x50, page_with({{44, "PV20-ABCD-p2"}})},
                               {0xC3, page_with({{44, "PV20-ABCD-p3"}, {32, "Z\x01\xB0"}})}});
    const Identity id = identify();
    EXPECT_EQ(id.family, 0);
    EXPECT_STREQ(id.model, "PV20-ABCD-p3");
    EXPECT_EQ(id.wide, 0);  // no family, so no capability block
    EXPECT_EQ(id.rate, RATE_UNKNOWN);
    const auto journal = device->journal();
    ASSERT_EQ(journal.size(), 3u);
    EXPECT_EQ(journal[2].cdb, (Bytes{0x12, 0x01, 0xC3, 0x00, 0xF8, 0x00}));
}

TEST_F(IdentifyBridge, EachPageStartsFromAZeroedBuffer) {
    // The last page is short: a buffer kept from the first page would still name a chip.
    auto device = std::make_shared<scsi_test::BufferDevice>();
    device->set_vpd_page(0x83, page_with({{44, "PV40-QTXX-0001"}}));
    device->short_answer(0xC3, Bytes(20, 0x20));
    sim.aspi.attach(0, 3, 0, device);
    const Identity id = identify();
    EXPECT_EQ(id.family, 0);
    EXPECT_STREQ(id.model, "untouched");
}

TEST_F(IdentifyBridge, NoAnswerLeavesTheModelAndReportsNoBus) {
    sim.aspi.attach(0, 2, 5, make_disk());
    std::int32_t family = 99;
    char model[BRIDGE_MODEL_CAPACITY] = "untouched";
    identify_bridge(0, 2, 5, family, model, nullptr, nullptr);  // optional outputs absent
    EXPECT_EQ(family, 0);
    EXPECT_STREQ(model, "untouched");

    Identity id;
    identify_bridge(0, 9, 0, id.family, id.model, &id.wide, &id.rate);
    EXPECT_EQ(id.family, 0);
    EXPECT_EQ(id.wide, 0);
    EXPECT_EQ(id.rate, RATE_UNKNOWN);
}

TEST_F(IdentifyBridge, ReadsWidthAndSpeedFromTheCapabilityBlock) {
    struct Case {
        std::size_t at;
        Bytes block;
        std::uint8_t wide;
        std::int32_t rate;
    };
    const Case cases[] = {
        {32, {'Z', 0x01, 0xB0}, 1, 80},  {32, {'Z', 0x00, 0x00}, 0, 0},
        {32, {'Z', 0x01, 0x30}, 1, -1},  {32, {'z', 0x01, 0xB0}, 0, -1},
        {32, {'Z', 0x02, 0xD7}, 0, 160}, {32, {'Z', 0x03, 0xD0}, 1, 320},
        {32, {'Z', 0x00, 0x20}, 0, 10},  {32, {'Z', 0x00, 0x40}, 0, 5},
        {32, {'Z', 0x01, 0xA0}, 1, 40},  {32, {'Z', 0x00, 0xC0}, 0, 80},
        {32, {'Z', 0x01, 0x00}, 1, 0},   {32, {'Z', 0x01, 0xF0}, 1, -1},
    };
    for (const Case& c : cases) {
        Bytes page = page_with({{44, "PV40-QTRL-0001"}});
        std::copy(c.block.begin(), c.block.end(), page.begin() + static_cast<std::ptrdiff_t>(c.at));
        bridge_with({{0x83, page}});
        const Identity id = identify();
        EXPECT_EQ(id.wide, c.wide) << int{c.block[1]} << "/" << int{c.block[2]};
        EXPECT_EQ(id.rate, c.rate) << int{c.block[1]} << "/" << int{c.block[2]};
    }

    // A bridge named higher up keeps its block at 48 instead.
    Bytes high = page_with({{24, "MODEL-AT-24!"}, {56, "PV50S320"}});
    high[48] = 'Z';
    high[49] = 0x01;
    high[50] = 0xD0;
    bridge_with({{0x83, high}});
    const Identity id = identify();
    EXPECT_EQ(id.wide, 1);
    EXPECT_EQ(id.rate, 320);
}

}  // namespace
}  // namespace korvel
