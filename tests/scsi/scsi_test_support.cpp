#include "scsi_test_support.h"

#include <algorithm>

namespace korvel::scsi_test {

BufferDevice::BufferDevice()
    : SimDevice(standard_inquiry(SIM_TYPE_DISK, false, "KORVEL", "TEST DEVICE", "1.00")) {}

void BufferDevice::set_capacity(std::uint32_t last_block, std::uint32_t block_length) {
    for (std::size_t i = 0; i < 4; ++i) {
        capacity_[i] = static_cast<std::uint8_t>(last_block >> (24 - 8 * i));
        capacity_[4 + i] = static_cast<std::uint8_t>(block_length >> (24 - 8 * i));
    }
}

void BufferDevice::short_answer(int page, std::vector<std::uint8_t> bytes) {
    short_answers_[page] = std::move(bytes);
}

SimResult BufferDevice::execute(const SimCommand& command) {
    switch (command.cdb[0]) {
        case 0x12: {
            const int page = (command.cdb[1] & 0x01) != 0 ? command.cdb[2] : STANDARD_INQUIRY;
            const auto answer = short_answers_.find(page);
            if (answer == short_answers_.end() || command.data == nullptr) break;
            const auto moved = std::min<std::size_t>(answer->second.size(), command.length);
            std::copy_n(answer->second.begin(), moved, command.data);
            return good(static_cast<std::uint32_t>(moved));
        }
        case 0x25:
            return good(send_to_initiator(command, capacity_, 8));
        case 0x42:
        case 0x3B:
            return good(command.length);
        case 0x3C: {
            std::vector<std::uint8_t> pattern(command.length);
            for (std::size_t i = 0; i < pattern.size(); ++i) {
                pattern[i] = static_cast<std::uint8_t>(i);
            }
            return good(send_to_initiator(command, pattern, command.length));
        }
        default:
            break;
    }
    return SimDevice::execute(command);
}

std::vector<std::uint8_t> page_with(
    std::initializer_list<std::pair<std::size_t, std::string_view>> texts) {
    std::vector<std::uint8_t> page(INQUIRY_LENGTH);
    for (const auto& [position, text] : texts) {
        std::copy(text.begin(), text.end(), page.begin() + static_cast<std::ptrdiff_t>(position));
    }
    return page;
}

SimJournalEntry only_command(const SimDevice& device) {
    const std::vector<SimJournalEntry> journal = device.journal();
    EXPECT_EQ(journal.size(), 1u);
    return journal.empty() ? SimJournalEntry{} : journal.back();
}

void LibraryModeTest::SetUp() {
    sim.identity.set_family(PlatformFamily::windows_9x);
    sim.aspi.add_host("AHA-2940");
    sim.install();
    ASSERT_EQ(scsi_start(), 1);
}

void LibraryModeTest::TearDown() { scsi_stop(); }

}  // namespace korvel::scsi_test
