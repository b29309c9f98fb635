#include "family_test_support.h"

#include <random>
#include <string_view>

#include "korvel_family_dispatch.h"
#include "korvel_msg.h"
#include "korvel_runtime_flags.h"
#include "korvel_write_span.h"
#include "lib_aspi.h"
#include "lib_global.h"
#include "linux_util_platform.h"
#include "util_platform_seam.h"

namespace korvel::family_test {

namespace {

struct Kind {
    int id;
    int caption;
    std::uint32_t flags;
};
// Every message a family module may show, with the caption and style it must carry.
constexpr Kind KINDS[] = {
    {MSG_CONFIRM_UPDATE, MSG_CAPTION_QUESTION, MB_ICON_QUESTION_YES_NO_DEFAULT_NO},
    {MSG_UPDATE_SUCCEEDED, MSG_CAPTION_INFORMATION, MB_ICON_INFORMATION_OK},
    {MSG_UPDATE_FAILED, MSG_CAPTION_ERROR, MB_ICON_STOP_OK},
    {MSG_BAD_FIRMWARE, MSG_CAPTION_ERROR, MB_ICON_STOP_OK},
    {MSG_WRONG_FIRMWARE_FILE, MSG_CAPTION_ERROR, MB_ICON_STOP_OK},
};

}  // namespace

int ScriptedUi::message_box(const char* text, const char* caption, std::uint32_t flags) {
    UiEvent event{-1, device != nullptr ? device->command_count() : 0, file_size(file) >= 0};
    for (const Kind& kind : KINDS) {
        if (std::string_view(text) == message_text(kind.id) &&
            std::string_view(caption) == message_text(kind.caption) && flags == kind.flags) {
            event.message = kind.id;
        }
    }
    events.push_back(event);
    if (event.message != MSG_CONFIRM_UPDATE) return ID_OK;
    if (answers.empty()) return ID_YES;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedUi::process_pending_messages() {
    events.push_back({0, device != nullptr ? device->command_count() : 0, file_size(file) >= 0});
}

std::vector<int> ScriptedUi::messages() const {
    std::vector<int> ids;
    for (const UiEvent& event : events) {
        if (event.message != 0) ids.push_back(event.message);
    }
    return ids;
}

void FamilyTest::SetUp() {
    install_os_util_platform();
    install_user_interface(&ui);
    set_lsi_adapter(false);
    set_fae_test_mode(false);
    std::random_device random;
    folder = std::filesystem::temp_directory_path() /
             ("korvel-families-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directory(folder);
}

void FamilyTest::TearDown() {
    // The window ends the write span a Yes opened; without one the test does.
    close_write_span();
    scsi_stop();
    install_user_interface(nullptr);
    install_util_platform(UtilPlatform{});
    set_lsi_adapter(false);
    set_fae_test_mode(false);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void FamilyTest::attach(std::shared_ptr<SimBridge> device, std::uint8_t lun) {
    ASSERT_NE(device, nullptr);
    bridge = std::move(device);
    lun_ = lun;
    sim.nt.lay_out_port(0, "aic78xx", {{0, 2, lun, bridge}});
    sim.install();
    ASSERT_EQ(scsi_start(), 1);
    bridge->clear_journal();
    ui.device = bridge.get();
}

int FamilyTest::open(const Bytes& bytes) {
    const std::string path =
        (folder / ("firmware" + std::to_string(++file_count) + ".bin")).string();
    EXPECT_TRUE(firmware_images::save_file(path, bytes));
    const int handle = open_file(path.c_str(), OPEN_READ | SHARE_DENY_NONE);
    EXPECT_GT(handle, 0);
    ui.file = handle;
    return handle;
}

int FamilyTest::update(const Bytes& file) {
    return update(bridge->profile().family_code, bridge->profile().model_text, file);
}

int FamilyTest::update(std::int32_t family_code, const std::string& model, const Bytes& file) {
    const int handle = open(file);
    const int result = update_firmware_for_family(family_code, 0, 2, lun_, model.c_str(), handle);
    // A module owns the file and closes it on every path; without a module it is the
    // caller's to close.
    EXPECT_EQ(file_close(handle), result == UPDATE_NO_MODULE ? 0 : -1);
    return result;
}

std::vector<Bytes> FamilyTest::cdbs() const {
    std::vector<Bytes> all;
    for (const SimJournalEntry& entry : bridge->journal()) all.push_back(entry.cdb);
    return all;
}

Bytes transfer_cdb(std::uint8_t operation, std::uint8_t buffer, std::uint32_t offset,
                   std::uint32_t length, std::uint8_t byte3) {
    Bytes cdb{operation, 0x17, buffer,
              static_cast<std::uint8_t>(offset >> 16), static_cast<std::uint8_t>(offset >> 8),
              static_cast<std::uint8_t>(offset),
              static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 8),
              static_cast<std::uint8_t>(length), 0};
    if (byte3 != 0) cdb[3] = byte3;
    return cdb;
}

Bytes preamble_cdb() { return transfer_cdb(0x3B, 0x71, 0, 0); }

void fail_commands(SimDevice& device, std::uint32_t count, Bytes prefix) {
    device.inject_check_condition(count, fixed_sense(SIM_SENSE_HARDWARE_ERROR, 0x44, 0),
                                  std::move(prefix));
}

}  // namespace korvel::family_test
