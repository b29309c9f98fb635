// What the family module tests share: a scripted person at the screen, a simulated bridge on
// a simulated SCSI port behind the real transport and command library, and firmware files in
// a scratch folder opened as the window opens them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "firmware_images.h"
#include "sim_bridge.h"
#include "sim_bridge_catalog.h"
#include "sim_platform.h"
#include "ui_seam.h"

namespace korvel::family_test {

using firmware_images::Bytes;
using firmware_images::Flaw;

/// Marks the journal position of a message box or a repaint.
struct UiEvent {
    int message = 0;               ///< message ID (0 for a repaint, -1 for an unknown box)
    std::size_t commands_before = 0;  ///< commands the bridge had received by then
    bool file_open = false;        ///< whether the firmware file was still open then
};

/// Records every message box (as its catalogue ID, checked against the caption and flags its
/// kind must carry) and every repaint; answers questions from a script (Yes when it runs out).
class ScriptedUi final : public UserInterface {
public:
    void bring_to_front() override {}
    int message_box(const char* text, const char* caption, std::uint32_t flags) override;
    void process_pending_messages() override;

    std::deque<int> answers;
    std::vector<UiEvent> events;
    const SimDevice* device = nullptr;
    int file = -1;

    /// The message IDs shown, in order.
    std::vector<int> messages() const;
};

class FamilyTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// Puts the bridge on port 0 at target 2 (and lun), starts the library, clears the journal.
    void attach(std::shared_ptr<SimBridge> device, std::uint8_t lun = 0);
    /// Saves bytes as a firmware file and opens it as the window does (mode 64).
    int open(const Bytes& bytes);
    /// The whole update through the dispatcher with the bridge's own model text.
    int update(const Bytes& file);
    int update(std::int32_t family_code, const std::string& model, const Bytes& file);

    /// CDBs of the commands the bridge received, in order.
    std::vector<Bytes> cdbs() const;

    SimPlatform sim;
    ScriptedUi ui;
    std::shared_ptr<SimBridge> bridge;
    std::uint8_t lun_ = 0;
    std::filesystem::path folder;
    int file_count = 0;
};

/// A CDB of a firmware transfer command: operation, 0x17, buffer ID, bytes 3-8, 0.
Bytes transfer_cdb(std::uint8_t operation, std::uint8_t buffer, std::uint32_t offset,
                   std::uint32_t length, std::uint8_t byte3 = 0);
/// The two empty WRITE BUFFER 0x71 commands of the LSI preamble.
Bytes preamble_cdb();

/// Injects CHECK CONDITION for the next count commands starting with prefix.
void fail_commands(SimDevice& device, std::uint32_t count, Bytes prefix);

}  // namespace korvel::family_test
