// The update sequence every family shares, the dispatch by family code, the text rules and
// the file handling, through the real modules over a simulated PV30 bridge.
#include <functional>
#include <tuple>

#include "family_test_support.h"
#include "korvel_family.h"
#include "korvel_family_dispatch.h"
#include "korvel_msg.h"
#include "korvel_runtime_flags.h"
#include "lib_aspi_bridge.h"
#include "lib_aspi.h"
#include "lib_global.h"

namespace korvel {
namespace {

using namespace family_test;
using firmware_images::bridge_image;

TEST(TextRules, ModelPositionsPastTheEndReadAsZeroAndTextsIgnoreCaseOverExactCounts) {
    EXPECT_EQ(model_char("PV30", 3), '0');
    EXPECT_EQ(model_char("PV30", 4), 0);
    EXPECT_EQ(model_char("PV30", 40), 0);
    EXPECT_EQ(model_char(nullptr, 0), 0);

    const Bytes image{'p', 'v', '3', '0', 0, 'x', 'Y'};
    EXPECT_TRUE(image_text_is(image, 0, "PV30", 4));
    // A zero byte does not end the comparison: the bytes after it still count.
    EXPECT_TRUE(image_text_is(image, 0, "PV30\0xy", 7));
    EXPECT_FALSE(image_text_is(image, 0, "PV30\0xz", 7));
    // Past the image's end the bytes read as zero.
    EXPECT_TRUE(image_text_is(image, 6, "y\0\0", 3));
    EXPECT_TRUE(image_matches_model(image, 5, "XY", 0, 2));
    EXPECT_FALSE(image_matches_model(image, 5, "X", 0, 2));  // 'Y' against the end of "X"

    const Bytes bytes{0xFF, 0x5B};
    EXPECT_EQ(byte_sum(bytes, 2), 0x5A);  // wraps at 8 bits
    EXPECT_TRUE(checksum_passes(bytes, 0x4000));  // the missing bytes count as zeros
}

class UpdateSequence : public FamilyTest {
protected:
    void SetUp() override {
        FamilyTest::SetUp();
        attach(make_bridge(FAMILY_PV30));
        image = bridge_image(FAMILY_PV30, bridge->profile().model_text);
    }
    Bytes image;
};

TEST_F(UpdateSequence, ConfirmedWriteClosesTheFileFirstRepaintsOnceAndReportsSuccess) {
    EXPECT_EQ(update(image), UPDATE_WRITTEN);
    EXPECT_EQ(ui.messages(), (std::vector<int>{MSG_CONFIRM_UPDATE, MSG_UPDATE_SUCCEEDED}));
    ASSERT_GE(ui.events.size(), 2u);
    EXPECT_FALSE(ui.events[0].file_open);
    // The question is followed by a repaint before the bridge receives anything.
    EXPECT_EQ(ui.events[1].message, 0);
    EXPECT_EQ(ui.events[1].commands_before, 0u);
    EXPECT_EQ(cdbs(), (std::vector<Bytes>{transfer_cdb(0x3B, 0x78, 0, 0x4000),
                                          transfer_cdb(0x3C, 0x78, 0, 0x4000)}));
    EXPECT_EQ(bridge->journal()[0].data_out, image);
}

TEST_F(UpdateSequence, DecliningOrHavingNoOneToAskWritesNothing) {
    ui.answers = {ID_NO};
    EXPECT_EQ(update(image), UPDATE_NOT_WRITTEN);
    EXPECT_EQ(ui.messages(), std::vector<int>{MSG_CONFIRM_UPDATE});
    EXPECT_EQ(ui.events.size(), 1u);  // not even a repaint

    install_user_interface(nullptr);
    EXPECT_EQ(update(image), UPDATE_NOT_WRITTEN);
    EXPECT_EQ(bridge->command_count(), 0u);
}

TEST_F(UpdateSequence, RejectionsShowTheirMessageAfterClosingAndSendNothing) {
    EXPECT_EQ(update(bridge_image(FAMILY_PV30, "PV30-QTHXC-0B1")), UPDATE_NOT_WRITTEN);
    EXPECT_EQ(update(bridge_image(FAMILY_PV30, bridge->profile().model_text, Flaw::bad_checksum)),
              UPDATE_NOT_WRITTEN);
    EXPECT_EQ(ui.messages(), (std::vector<int>{MSG_WRONG_FIRMWARE_FILE, MSG_BAD_FIRMWARE}));
    EXPECT_FALSE(ui.events[0].file_open);
    EXPECT_EQ(bridge->command_count(), 0u);
}

TEST_F(UpdateSequence, AFileThatCannotBeReadCountsAsEmpty) {
    const int handle = open(image);
    file_close(handle);  // a handle that no longer reads
    EXPECT_EQ(update_firmware_for_family(FAMILY_PV30, 0, 2, 0,
                                         bridge->profile().model_text.c_str(), handle),
              UPDATE_NOT_WRITTEN);
    EXPECT_EQ(ui.messages(), std::vector<int>{MSG_WRONG_FIRMWARE_FILE});
    EXPECT_EQ(update(Bytes{}), UPDATE_NOT_WRITTEN);
    EXPECT_EQ(bridge->command_count(), 0u);
}

// A cut file whose missing end is zeros (or lies outside PV20's checksum) passes every check
// but would be written padded with zeros: it is damaged all the same.
TEST_F(UpdateSequence, FilesShorterThanTheirImageAreDamagedWhateverTheirChecksum) {
    using namespace firmware_images;
    const auto sound_with_zero_tail = [](std::int32_t code, const std::string& model) {
        Bytes sound = bridge_image(code, model);
        std::fill(sound.end() - 16, sound.end(), std::uint8_t{0});
        rebalance(sound, checksum_span(code));
        return sound;
    };
    Bytes copier_image = pv70_image();
    std::fill(copier_image.end() - 16, copier_image.end(), std::uint8_t{0});
    const struct {
        std::int32_t code;
        std::size_t cut;
    } cases[] = {{FAMILY_PV20_QTRL, 1}, {FAMILY_PV20_QTVN, 0x400}, {FAMILY_PV30, 16},
                 {FAMILY_PV40, 1},      {FAMILY_PV40_QTZF, 16}, {FAMILY_PV70, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        scsi_stop();
        attach(make_bridge(c.code));
        const std::string model = bridge->profile().model_text;
        Bytes file = c.code == FAMILY_PV70 ? pv70_file(copier_image)
                                           : sound_with_zero_tail(c.code, model);
        if (c.code == FAMILY_PV40_QTZF) file = joined(file, file);
        ui.events.clear();
        ui.answers = {ID_NO};
        EXPECT_EQ(update(file), UPDATE_NOT_WRITTEN);
        EXPECT_EQ(update(truncated(file, file.size() - c.cut)), UPDATE_NOT_WRITTEN);
        EXPECT_EQ(ui.messages(), (std::vector<int>{MSG_CONFIRM_UPDATE, MSG_BAD_FIRMWARE}));
        EXPECT_EQ(bridge->command_count(), 0u);
    }
}

TEST_F(UpdateSequence, CodesWithoutAModuleLeaveTheFileToTheWindow) {
    for (const std::int32_t code : {0, 2, 9, 19, 23, -1}) {
        EXPECT_FALSE(family_has_module(code));
        const int handle = open(image);
        EXPECT_EQ(update_firmware_for_family(code, 0, 2, 0, "PV20-QTWDC-P", handle),
                  UPDATE_NO_MODULE);
        EXPECT_EQ(file_close(handle), 0) << code;
    }
    for (const std::int32_t code : {1, 3, 4, 5, 6, 7, 8, 20, 21, 22}) {
        EXPECT_TRUE(family_has_module(code));
    }
    EXPECT_TRUE(ui.events.empty());
    EXPECT_EQ(bridge->command_count(), 0u);
}

TEST_F(UpdateSequence, AnAddressOutsideAByteNamesNoDevice) {
    // Host 256 would wrap to host 0, where this bridge sits.
    for (const auto& [host, target, lun] : {std::tuple{256, 2, 0}, {0, 258, 0}, {0, 2, -1}}) {
        const int handle = open(image);
        EXPECT_EQ(update_firmware_for_family(FAMILY_PV30, host, target, lun,
                                             bridge->profile().model_text.c_str(), handle),
                  UPDATE_NOT_WRITTEN);
        EXPECT_EQ(file_close(handle), -1);
    }
    EXPECT_TRUE(ui.events.empty());
    EXPECT_EQ(bridge->command_count(), 0u);
}

TEST_F(UpdateSequence, LsiPreambleComesFirstEvenWhenRefused) {
    set_lsi_adapter(true);
    fail_commands(*bridge, SIM_ALWAYS, {0x3B, 0x17, 0x71});
    EXPECT_EQ(update(image), UPDATE_WRITTEN);
    EXPECT_EQ(cdbs(), (std::vector<Bytes>{preamble_cdb(), preamble_cdb(),
                                          transfer_cdb(0x3B, 0x78, 0, 0x4000),
                                          transfer_cdb(0x3C, 0x78, 0, 0x4000)}));
    EXPECT_EQ(bridge->journal()[0].length, 0u);
    EXPECT_EQ(ui.messages().back(), MSG_UPDATE_SUCCEEDED);
}

TEST_F(UpdateSequence, VerifyLoopRetriesUpToThreeTimes) {
    const Bytes write = transfer_cdb(0x3B, 0x78, 0, 0x4000);
    const Bytes read = transfer_cdb(0x3C, 0x78, 0, 0x4000);
    const struct {
        const char* name;
        std::function<void(SimBridge&)> fault;
        std::vector<Bytes> expected;
        int message;
    } cases[] = {
        {"one read-back differs", [](SimBridge& b) { b.corrupt_reads(1); },
         {write, read, write, read}, MSG_UPDATE_SUCCEEDED},
        {"every read-back differs", [](SimBridge& b) { b.corrupt_reads(3); },
         {write, read, write, read, write, read}, MSG_UPDATE_FAILED},
        {"two writes refused", [](SimBridge& b) { fail_commands(b, 2, {0x3B, 0x17, 0x78}); },
         {write, write, write, read}, MSG_UPDATE_SUCCEEDED},
        {"every write refused",
         [](SimBridge& b) { fail_commands(b, SIM_ALWAYS, {0x3B, 0x17, 0x78}); },
         {write, write, write}, MSG_UPDATE_FAILED},
        // A read-back that does not complete proves nothing about the write.
        {"every read-back refused",
         [](SimBridge& b) { fail_commands(b, SIM_ALWAYS, {0x3C, 0x17, 0x78}); },
         {write, read, write, read, write, read}, MSG_UPDATE_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bridge->clear_faults();
        bridge->clear_journal();
        ui.events.clear();
        c.fault(*bridge);
        EXPECT_EQ(update(image), UPDATE_WRITTEN);
        EXPECT_EQ(cdbs(), c.expected);
        EXPECT_EQ(ui.messages(), (std::vector<int>{MSG_CONFIRM_UPDATE, c.message}));
    }
}

}  // namespace
}  // namespace korvel
