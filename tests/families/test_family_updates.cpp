// Whole updates of each family over a simulated bridge: how the module takes the image out of
// the file, what the bridge receives, and which message ends it.
#include "family_test_support.h"
#include "korvel_family_dispatch.h"
#include "korvel_msg.h"
#include "korvel_runtime_flags.h"
#include "lib_aspi_bridge.h"

namespace korvel {
namespace {

using namespace family_test;
using namespace firmware_images;

using Cdbs = std::vector<Bytes>;
const std::vector<int> SUCCEEDED{MSG_CONFIRM_UPDATE, MSG_UPDATE_SUCCEEDED};
const std::vector<int> FAILED{MSG_CONFIRM_UPDATE, MSG_UPDATE_FAILED};
const std::vector<int> WRONG{MSG_WRONG_FIRMWARE_FILE};

Bytes first(const std::vector<std::uint8_t>& memory, std::size_t count) {
    return truncated(memory, count);
}

class Pv20Update : public FamilyTest {};

TEST_F(Pv20Update, OneWriteOfTheWholeImageWithoutRetryOrReadBack) {
    set_lsi_adapter(true);
    attach(make_bridge(FAMILY_PV20_QTRL));
    Bytes image = bridge_image(1, bridge->profile().model_text);
    image[0x7F00] ^= 0x5A;  // outside the checksum: written as it stands
    EXPECT_EQ(update(image), UPDATE_WRITTEN);
    EXPECT_EQ(cdbs(), (Cdbs{preamble_cdb(), preamble_cdb(), transfer_cdb(0x3B, 0x76, 0, 0x8000)}));
    EXPECT_EQ(first(bridge->memory(0x76), 0x8000), image);
    EXPECT_EQ(ui.messages(), SUCCEEDED);

    bridge->clear_journal();
    fail_commands(*bridge, 1, {0x3B, 0x17, 0x76});
    EXPECT_EQ(update(image), UPDATE_WRITTEN);
    EXPECT_EQ(cdbs().size(), 3u);
    EXPECT_EQ(ui.messages().back(), MSG_UPDATE_FAILED);
}

TEST_F(Pv20Update, KindTagFollowsTheFamilyCode) {
    attach(make_bridge(FAMILY_PV20_QTVN));
    const std::string model = bridge->profile().model_text;  // "PV20-QTVNB-V"
    EXPECT_EQ(update(bridge_image(3, "PV20-QTRLB-V")), UPDATE_NOT_WRITTEN);
    EXPECT_EQ(update(bridge_image(3, model)), UPDATE_WRITTEN);
    EXPECT_EQ(update(FAMILY_PV20_QTWD, model, bridge_image(3, model)), UPDATE_NO_MODULE);
    EXPECT_EQ(ui.messages(),
              (std::vector<int>{MSG_WRONG_FIRMWARE_FILE, MSG_CONFIRM_UPDATE, MSG_UPDATE_SUCCEEDED}));
}

class Pv30VariantUpdate : public FamilyTest {};

TEST_F(Pv30VariantUpdate, ThirtyTwoKibFilesHoldTwoImagesAndOtherLengthsNone) {
    attach(make_bridge(FAMILY_PV30_A));
    const std::string model = bridge->profile().model_text;  // variant 'A'
    const Bytes own = bridge_image(21, model);
    Bytes other = bridge_image(21, "PV30-QTRLC-0C1");
    for (std::size_t i = 64; i < other.size(); ++i) other[i] ^= 0x33;
    rebalance(other, other.size());

    const struct {
        const char* name;
        Bytes file;
        const Bytes* written;
    } cases[] = {
        {"16 KiB", own, &own},
        {"own image first", joined(own, other), &own},
        {"own image second", joined(other, own), &own},
        {"neither is own", joined(other, other), nullptr},
        {"20 KiB", joined(own, Bytes(0x1000, 0)), nullptr},
        {"48 KiB", joined(joined(own, own), own), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bridge->clear_journal();
        ui.events.clear();
        const int result = update(c.file);
        if (c.written != nullptr) {
            EXPECT_EQ(result, UPDATE_WRITTEN);
            ASSERT_EQ(bridge->journal().size(), 2u);
            EXPECT_EQ(bridge->journal()[0].data_out, *c.written);
        } else {
            EXPECT_EQ(result, UPDATE_NOT_WRITTEN);
            EXPECT_EQ(ui.messages(), WRONG);
            EXPECT_EQ(bridge->command_count(), 0u);
        }
    }
}

TEST_F(Pv30VariantUpdate, VariantCAndPlainPv30ReadTheirFilesDifferently) {
    attach(make_bridge(FAMILY_PV30_C));
    const std::string model = bridge->profile().model_text;  // variant 'C'
    const Bytes image = bridge_image(22, model);
    const Bytes twenty = joined(image, Bytes(0x1000, 0xEE));
    EXPECT_EQ(update(twenty), UPDATE_NOT_WRITTEN);
    EXPECT_EQ(update(image), UPDATE_WRITTEN);
    // The plain PV30 module takes the first 16 KiB of any file.
    bridge->clear_journal();
    EXPECT_EQ(update(FAMILY_PV30, model, twenty), UPDATE_WRITTEN);
    EXPECT_EQ(cdbs(), (Cdbs{transfer_cdb(0x3B, 0x78, 0, 0x4000), transfer_cdb(0x3C, 0x78, 0, 0x4000)}));
    EXPECT_EQ(bridge->journal()[0].data_out, image);
    EXPECT_EQ(ui.messages(), (std::vector<int>{MSG_WRONG_FIRMWARE_FILE, MSG_CONFIRM_UPDATE,
                                               MSG_UPDATE_SUCCEEDED, MSG_CONFIRM_UPDATE,
                                               MSG_UPDATE_SUCCEEDED}));
}

class Pv40Update : public FamilyTest {};

TEST_F(Pv40Update, OneSectionTakesTheFirst48KibAndGoesStraightToTheWrite) {
    // Without the platform's threads each request is carried out inside its send, so a repaint
    // seen before the bridge has the write is the family's own, not the wait's for the write.
    attach(make_bridge(FAMILY_PV40));
    Platform synchronous = sim.seams();
    synchronous.threads = nullptr;
    install_platform(synchronous);
    const Bytes image = bridge_image(6, bridge->profile().model_text);
    EXPECT_EQ(update(joined(image, Bytes(0xC000, 0x11))), UPDATE_WRITTEN);
    EXPECT_EQ(cdbs(), (Cdbs{transfer_cdb(0x3B, 0x78, 0, 0xC000), transfer_cdb(0x3C, 0x78, 0, 0xC000)}));
    EXPECT_EQ(first(bridge->memory(0x78), 0xC000), image);
    EXPECT_EQ(ui.messages(), SUCCEEDED);
    // No repaint between the question and the first write.
    EXPECT_TRUE(ui.events.size() < 2 || ui.events[1].message != 0 ||
                ui.events[1].commands_before > 0);
}

TEST_F(Pv40Update, TwoSectionsGoToTheirOwnBuffersEachAfterItsPreamble) {
    set_lsi_adapter(true);
    attach(make_bridge(FAMILY_PV40_QTZF));
    const Bytes file = pv40_two_section_file(bridge->profile().model_text);
    EXPECT_EQ(update(file), UPDATE_WRITTEN);
    EXPECT_EQ(cdbs(), (Cdbs{preamble_cdb(), preamble_cdb(), transfer_cdb(0x3B, 0x7C, 0, 0xC000),
                            transfer_cdb(0x3C, 0x7C, 0, 0xC000), preamble_cdb(), preamble_cdb(),
                            transfer_cdb(0x3B, 0x7D, 0, 0xC000),
                            transfer_cdb(0x3C, 0x7D, 0, 0xC000)}));
    EXPECT_EQ(first(bridge->memory(0x7C), 0xC000), truncated(file, 0xC000));
    EXPECT_EQ(first(bridge->memory(0x7D), 0xC000), Bytes(file.begin() + 0xC000, file.end()));
    EXPECT_EQ(ui.messages(), SUCCEEDED);
}

TEST_F(Pv40Update, TwoSectionRejectionsAndFailures) {
    attach(make_bridge(FAMILY_PV40_QTZF));
    const std::string model = bridge->profile().model_text;
    EXPECT_EQ(update(pv40_two_section_file(model, Flaw::bad_checksum)), UPDATE_NOT_WRITTEN);
    EXPECT_EQ(update(pv40_two_section_file(model, Flaw::wrong_kind_tag)), UPDATE_NOT_WRITTEN);
    EXPECT_EQ(update(truncated(pv40_two_section_file(model), 0xC000)), UPDATE_NOT_WRITTEN);
    EXPECT_EQ(ui.messages(),
              (std::vector<int>{MSG_BAD_FIRMWARE, MSG_WRONG_FIRMWARE_FILE, MSG_WRONG_FIRMWARE_FILE}));
    EXPECT_EQ(bridge->command_count(), 0u);

    const Bytes w1 = transfer_cdb(0x3B, 0x7C, 0, 0xC000), r1 = transfer_cdb(0x3C, 0x7C, 0, 0xC000);
    const Bytes w2 = transfer_cdb(0x3B, 0x7D, 0, 0xC000), r2 = transfer_cdb(0x3C, 0x7D, 0, 0xC000);
    ui.events.clear();
    fail_commands(*bridge, SIM_ALWAYS, {0x3B, 0x17, 0x7C});
    EXPECT_EQ(update(pv40_two_section_file(model)), UPDATE_WRITTEN);
    EXPECT_EQ(cdbs(), (Cdbs{w1, w1, w1}));
    EXPECT_EQ(ui.messages(), FAILED);

    bridge->clear_faults();
    bridge->clear_journal();
    ui.events.clear();
    bridge->corrupt_reads(3, 1);  // section 1 reads back intact, section 2 never
    EXPECT_EQ(update(pv40_two_section_file(model)), UPDATE_WRITTEN);
    EXPECT_EQ(cdbs(), (Cdbs{w1, r1, w2, r2, w2, r2, w2, r2}));
    EXPECT_EQ(ui.messages(), FAILED);
}

class Pv50Update : public FamilyTest {};

TEST_F(Pv50Update, AsksForIdentificationAndWritesExactlyTheBytesRead) {
    attach(make_bridge(FAMILY_PV50), 1);
    const std::string model = bridge->profile().model_text;  // "PV50S160-C-1D1"
    // A file of 20 KiB: the checksum takes the zeros after it, the write does not.
    Bytes image = bridge_image(7, model, Flaw::none, 0x5000);
    pv50_set_product_text(image, "BRIDGE160");
    EXPECT_EQ(update(image), UPDATE_WRITTEN);
    EXPECT_EQ(cdbs(), (Cdbs{{0x12, 0x21, 0x83, 0x00, 0xF8, 0x00},
                            {0x12, 0x20, 0x00, 0x00, 0xF8, 0x00},
                            transfer_cdb(0x3B, 0x78, 0, 0x5000)}));
    EXPECT_EQ(bridge->journal()[2].data_out, image);
    EXPECT_EQ(ui.messages(), SUCCEEDED);
}

TEST_F(Pv50Update, ProductTextOfTheBridgeSelectsTheSameProductRule) {
    attach(make_bridge(FAMILY_PV50));  // its product text ends in "BRIDGE160"
    const std::string model = bridge->profile().model_text;
    Bytes image = bridge_image(7, model);
    pv50_set_product_text(image, "BRIDGE160");
    image[400] ^= 1;
    EXPECT_EQ(update(image), UPDATE_NOT_WRITTEN);  // the same-product rule sums the image
    // When the bridge does not answer, the product-text rule accepts the very same file.
    fail_commands(*bridge, 2, {0x12});
    EXPECT_EQ(update(image), UPDATE_WRITTEN);
    // An image naming no product on a "Bridge" is not for it.
    EXPECT_EQ(update(bridge_image(7, model)), UPDATE_NOT_WRITTEN);
    EXPECT_EQ(ui.messages(), (std::vector<int>{MSG_BAD_FIRMWARE, MSG_CONFIRM_UPDATE,
                                               MSG_UPDATE_SUCCEEDED, MSG_WRONG_FIRMWARE_FILE}));
}

TEST_F(Pv50Update, ThreeRefusedWritesFallBackToTheUpperArea) {
    set_lsi_adapter(true);
    SimBridgeOptions options;
    options.placement = SimChipPlacement::at_56;
    attach(make_bridge(FAMILY_PV50, options));
    const std::string model = bridge->profile().model_text;
    Bytes image = bridge_image(7, model);
    pv50_make_newer(image, "320");  // page 0x83 names "PV50S320": product code "320"
    const Bytes lower = transfer_cdb(0x3B, 0x78, 0, 0x8000);
    const Bytes upper = transfer_cdb(0x3B, 0x78, 0, 0x8000, 0x08);
    fail_commands(*bridge, 3, lower);
    EXPECT_EQ(update(image), UPDATE_WRITTEN);
    const Cdbs sent = cdbs();
    EXPECT_EQ(Cdbs(sent.begin() + 2, sent.end()),
              (Cdbs{preamble_cdb(), preamble_cdb(), lower, lower, lower, upper}));
    EXPECT_EQ(first(bridge->upper_memory(), 0x8000), image);
    EXPECT_EQ(ui.messages(), SUCCEEDED);

    fail_commands(*bridge, 4, {0x3B, 0x17, 0x78});
    EXPECT_EQ(update(image), UPDATE_WRITTEN);
    EXPECT_EQ(ui.messages().back(), MSG_UPDATE_FAILED);
}

TEST_F(Pv50Update, VariantAReadsBackExactlyTheBytesRead) {
    attach(make_bridge(FAMILY_PV50_9271));
    Bytes image = bridge_image(8, bridge->profile().model_text, Flaw::none, 0x5000);
    rebalance(image, 0x8000);
    bridge->corrupt_reads(1);
    EXPECT_EQ(update(image), UPDATE_WRITTEN);
    const Bytes w = transfer_cdb(0x3B, 0x78, 0, 0x5000), r = transfer_cdb(0x3C, 0x78, 0, 0x5000);
    EXPECT_EQ(cdbs(), (Cdbs{w, r, w, r}));
    EXPECT_EQ(ui.messages(), SUCCEEDED);
}

class Pv70Update : public FamilyTest {
protected:
    void SetUp() override {
        FamilyTest::SetUp();
        set_lsi_adapter(true);  // the copier family never sends the preamble
        attach(make_bridge(FAMILY_PV70));
    }
    Cdbs pieces(std::size_t count) const {
        Cdbs expected;
        for (std::uint32_t k = 0; k < count; ++k) {
            expected.push_back(transfer_cdb(0x3B, 0x64, 0x100000 + k * 0x8000, 0x8000));
            expected.push_back(transfer_cdb(0x3C, 0x62, 0x100000 + k * 0x8000, 0x8000));
        }
        return expected;
    }
    Bytes image = pv70_image();
    Bytes finish = transfer_cdb(0x3B, 0x61, 0x100000, 0);
};

TEST_F(Pv70Update, SixteenVerifiedPiecesThenTheFinishingCommand) {
    Bytes file = pv70_file(image);
    file.resize(file.size() + 100, 0xAB);  // bytes after the image are ignored
    EXPECT_EQ(update(file), UPDATE_WRITTEN);
    Cdbs expected = pieces(16);
    expected.push_back(finish);
    EXPECT_EQ(cdbs(), expected);
    EXPECT_EQ(first(bridge->board_memory(), 0x80000), image);
    EXPECT_EQ(bridge->finish_values(), std::vector<std::uint32_t>{0x100000});
    EXPECT_EQ(ui.messages(), SUCCEEDED);
}

TEST_F(Pv70Update, AFailedPieceStopsTheWriteButARefusedFinishDoesNot) {
    bridge->corrupt_reads(1, 5);
    EXPECT_EQ(update(pv70_file(image)), UPDATE_WRITTEN);
    EXPECT_EQ(cdbs(), pieces(6));
    EXPECT_EQ(ui.messages(), FAILED);

    bridge->clear_journal();
    ui.events.clear();
    fail_commands(*bridge, 1, {0x3B, 0x17, 0x64});
    EXPECT_EQ(update(pv70_file(image)), UPDATE_WRITTEN);
    EXPECT_EQ(cdbs().size(), 1u);
    EXPECT_EQ(ui.messages(), FAILED);

    bridge->clear_journal();
    ui.events.clear();
    fail_commands(*bridge, 1, {0x3B, 0x17, 0x61});
    EXPECT_EQ(update(pv70_file(image)), UPDATE_WRITTEN);
    EXPECT_EQ(cdbs().back(), finish);
    EXPECT_EQ(ui.messages(), SUCCEEDED);
}

TEST_F(Pv70Update, RejectedFilesSendNothing) {
    EXPECT_EQ(update(pv70_file(image, {.checksum_delta = 1})), UPDATE_NOT_WRITTEN);
    EXPECT_EQ(update(pv70_file(image, {.maker = "TAVRO Technolog!"})), UPDATE_NOT_WRITTEN);
    EXPECT_EQ(update(truncated(pv70_file(image), 0x7FF)), UPDATE_NOT_WRITTEN);
    EXPECT_EQ(ui.messages(), (std::vector<int>{MSG_BAD_FIRMWARE, MSG_WRONG_FIRMWARE_FILE,
                                               MSG_BAD_FIRMWARE}));
    EXPECT_EQ(bridge->command_count(), 0u);
}

}  // namespace
}  // namespace korvel
