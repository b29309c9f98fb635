// What the command library tests share: a device that answers the non-INQUIRY commands the
// library sends, page data with texts at chosen positions, and fixtures that start the
// library over the simulated platform.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "lib_aspi.h"
#include "sim_device.h"
#include "sim_device_catalog.h"
#include "sim_platform.h"

namespace korvel::scsi_test {

/// Key of short_answer for the standard INQUIRY data.
inline constexpr int STANDARD_INQUIRY = -1;

/// A device that, besides INQUIRY, answers READ CAPACITY(10) with set capacity data, accepts
/// operation 0x42 and WRITE BUFFER, and answers READ BUFFER with a counting byte pattern.
class BufferDevice : public SimDevice {
public:
    BufferDevice();
    void set_capacity(std::uint32_t last_block, std::uint32_t block_length);
    /// Makes INQUIRY (STANDARD_INQUIRY, or a vital product data page) move only these bytes
    /// and leave the rest of the initiator's buffer as it was, as many real devices do.
    void short_answer(int page, std::vector<std::uint8_t> bytes);

protected:
    SimResult execute(const SimCommand& command) override;

private:
    std::vector<std::uint8_t> capacity_ = std::vector<std::uint8_t>(8);
    std::map<int, std::vector<std::uint8_t>> short_answers_;
};

/// 248 bytes of page data: zero, with each text written at its position.
std::vector<std::uint8_t> page_with(
    std::initializer_list<std::pair<std::size_t, std::string_view>> texts);

/// The one command a device received since its journal was last cleared.
SimJournalEntry only_command(const SimDevice& device);

/// The library started over the simulated ASPI library (the 9x family), which sees each
/// request block exactly as the command library filled it. Host 0 is known.
class LibraryModeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    SimPlatform sim;
};

}  // namespace korvel::scsi_test
