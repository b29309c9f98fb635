// The TCMU ring answered in memory laid out as the kernel lays it out (mailbox version 2): a
// command's data gathered from and returned into its segments, padding stepped over at the
// ring's end, and every offset the kernel gives checked before it is used. The guest of the
// real-kernel test runs the same code against the kernel itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "linux_tcmu.h"

namespace korvel {
namespace {

constexpr std::uint32_t RING_AT = 128, RING_SIZE = 4096, ENTRY = 128;
constexpr std::uint64_t DATA_1 = 8192, DATA_2 = 12288;  // the two segments of the command

template <typename T>
void put(std::vector<std::uint8_t>& memory, std::size_t at, T value) {
    std::memcpy(memory.data() + at, &value, sizeof value);
}

// A mapping with one READ(10)-like command of 8 bytes in two segments at ring offset `tail`.
std::vector<std::uint8_t> ring_with_command(std::uint32_t tail = 0, std::size_t size = 65536) {
    std::vector<std::uint8_t> memory(size, 0);
    put<std::uint16_t>(memory, 0, 2);        // version
    put<std::uint16_t>(memory, 2, 1u << 1);  // the kernel takes read_len
    put<std::uint32_t>(memory, 4, RING_AT);
    put<std::uint32_t>(memory, 8, RING_SIZE);
    put<std::uint32_t>(memory, 12, (tail + ENTRY) % RING_SIZE);  // head
    put<std::uint32_t>(memory, 64, tail);
    const std::size_t at = RING_AT + tail;
    put<std::uint32_t>(memory, at, ENTRY | 1);  // a command entry
    put<std::uint32_t>(memory, at + 8, 2);      // iovec count
    put<std::uint64_t>(memory, at + 24, at + 112);
    put<std::uint64_t>(memory, at + 48, DATA_1);
    put<std::uint64_t>(memory, at + 56, 3);
    put<std::uint64_t>(memory, at + 64, DATA_2);
    put<std::uint64_t>(memory, at + 72, 5);
    memory[at + 112] = 0x28;
    std::memcpy(memory.data() + DATA_1, "abc", 3);
    std::memcpy(memory.data() + DATA_2, "defgh", 5);
    return memory;
}

// Returns the data reversed, two bytes short; remembers what it was given.
class Reverser final : public TcmuHandler {
public:
    void answer(std::size_t, const TcmuRequest& request, TcmuReply& reply) override {
        cdb.assign(request.cdb, request.cdb + request.cdb_length);
        data.assign(request.data, request.data + request.length);
        std::reverse_copy(data.begin(), data.end(), request.data);
        reply.data_in_length = request.length - 2;
    }
    std::vector<std::uint8_t> cdb, data;
};

std::string text_at(const std::vector<std::uint8_t>& memory, std::uint64_t at, std::size_t n) {
    return std::string(memory.begin() + static_cast<std::ptrdiff_t>(at),
                       memory.begin() + static_cast<std::ptrdiff_t>(at + n));
}

TEST(TcmuRing, GathersAndReturnsTheDataOfEachSegmentAfterPaddingAtTheEnd) {
    auto memory = ring_with_command();
    // Padding fills the ring's last entry's room; the command follows at its start.
    put<std::uint32_t>(memory, 64, RING_SIZE - 64);
    put<std::uint32_t>(memory, RING_AT + RING_SIZE - 64, 64);
    Reverser handler;
    ASSERT_EQ(tcmu_answer_ring(memory.data(), memory.size(), 0, handler), 1);
    EXPECT_EQ(handler.cdb.size(), 10u);
    EXPECT_EQ(std::string(handler.data.begin(), handler.data.end()), "abcdefgh");
    EXPECT_EQ(text_at(memory, DATA_1, 3) + text_at(memory, DATA_2, 5), "hgfedcgh");
    std::uint32_t read_len = 0, tail = 0;
    std::memcpy(&read_len, memory.data() + RING_AT + 12, 4);
    std::memcpy(&tail, memory.data() + 64, 4);
    EXPECT_EQ(read_len, 6u);
    EXPECT_EQ(memory[RING_AT + 7] & 0x2, 0x2);  // read_len is set
    EXPECT_EQ(tail, ENTRY);
}

TEST(TcmuRing, AnOffsetOutOfBoundsGivesTheRingUpBeforeAnythingIsRead) {
    const std::size_t entry = RING_AT;
    const std::vector<std::pair<const char*, std::function<void(std::vector<std::uint8_t>&)>>>
        breaks = {
            {"mailbox version", [](auto& m) { put<std::uint16_t>(m, 0, 1); }},
            {"ring past the mapping", [](auto& m) { put<std::uint32_t>(m, 8, 65536); }},
            {"head past the ring", [](auto& m) { put<std::uint32_t>(m, 12, RING_SIZE); }},
            {"entry of no length", [&](auto& m) { put<std::uint32_t>(m, entry, 1); }},
            {"entry past the ring", [&](auto& m) { put<std::uint32_t>(m, entry, 4104 | 1); }},
            {"iovecs past the entry", [&](auto& m) { put<std::uint32_t>(m, entry + 8, 6); }},
            {"CDB among the iovecs",
             [&](auto& m) { put<std::uint64_t>(m, entry + 24, entry + 64); }},
            {"CDB past the entry",
             [&](auto& m) { put<std::uint64_t>(m, entry + 24, entry + 124); }},
            {"segment in the ring", [&](auto& m) { put<std::uint64_t>(m, entry + 48, entry); }},
            {"segment past the end", [&](auto& m) { put<std::uint64_t>(m, entry + 64, 65534); }},
            {"length that wraps", [&](auto& m) { put<std::uint64_t>(m, entry + 72, ~0ull); }},
        };
    for (const auto& [name, breaking] : breaks) {
        auto memory = ring_with_command();
        breaking(memory);
        const auto before = memory;
        Reverser handler;
        EXPECT_EQ(tcmu_answer_ring(memory.data(), memory.size(), 0, handler), -1) << name;
        EXPECT_TRUE(handler.data.empty() && memory == before) << name;
    }
}

TEST(TcmuRing, MoreDataThanTheHandlerTakesIsRefusedWithIllegalRequest) {
    auto memory = ring_with_command(0, 2 * TCMU_MAX_DATA_LENGTH);
    put<std::uint64_t>(memory, RING_AT + 72, TCMU_MAX_DATA_LENGTH);
    Reverser handler;
    EXPECT_EQ(tcmu_answer_ring(memory.data(), memory.size(), 0, handler), 1);
    EXPECT_TRUE(handler.data.empty());
    EXPECT_EQ(memory[RING_AT + 8], 0x02);       // CHECK CONDITION
    EXPECT_EQ(memory[RING_AT + 16 + 2], 0x05);  // ILLEGAL REQUEST
}

}  // namespace
}  // namespace korvel
