// Reading the port inquiry answer and keeping the secondary-bus list, on hand-made bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "nt_emulation.h"

using namespace korvel;

namespace {

// Builds an IOCTL_SCSI_GET_INQUIRY_DATA answer: one bus whose entries are chained in order.
struct PortAnswer {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(12, 0);

    PortAnswer() { bytes[0] = 1; }  // one bus

    static void put_u32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }

    // Appends an entry with 36 bytes of INQUIRY data whose first byte is `type`.
    std::size_t add(std::uint8_t path, std::uint8_t target, std::uint8_t lun, bool claimed,
                    std::uint8_t type) {
        const std::size_t at = bytes.size();
        bytes.resize(at + 12 + 36, 0);
        bytes[at] = path;
        bytes[at + 1] = target;
        bytes[at + 2] = lun;
        bytes[at + 3] = claimed ? 1 : 0;
        put_u32(bytes, at + 4, 36);
        bytes[at + 12] = type;
        if (previous == 0) {
            put_u32(bytes, 8, static_cast<std::uint32_t>(at));
        } else {
            put_u32(bytes, previous + 8, static_cast<std::uint32_t>(at));
        }
        previous = at;
        return at;
    }

    std::uint8_t pick(std::uint32_t n, PortDeviceAddress* address = nullptr) const {
        return pick_port_device(bytes.data(), bytes.size(), n, address);
    }

    std::size_t previous = 0;
};

TEST(PortInquiry, WalksTheFirstBusChain) {
    PortAnswer answer;
    answer.add(0, 1, 0, true, 0x00);
    answer.add(0, 4, 2, false, 0x03);
    PortDeviceAddress address{};
    EXPECT_EQ(answer.pick(0), PORT_DEVICE_SKIP);  // claimed by a class driver
    EXPECT_EQ(answer.pick(1, &address), 0x03);
    EXPECT_EQ(address.target_id, 4);
    EXPECT_EQ(address.lun, 2);
    EXPECT_EQ(answer.pick(2), PORT_DEVICE_END);
}

TEST(PortInquiry, NoBusesOrNoEntries) {
    PortAnswer answer;
    answer.bytes[0] = 0;
    EXPECT_EQ(answer.pick(0), PORT_DEVICE_END);

    PortAnswer empty_bus;  // one bus, first entry offset 0
    EXPECT_EQ(empty_bus.pick(0), PORT_DEVICE_SKIP);
    EXPECT_EQ(empty_bus.pick(1), PORT_DEVICE_END);
}

// Offsets come from the platform: none of them may lead outside the bytes it filled.
TEST(PortInquiry, MalformedOffsetsEndTheChain) {
    PortAnswer answer;
    const std::size_t first = answer.add(0, 2, 0, false, 0x03);

    // An entry whose INQUIRY data runs past the filled part.
    EXPECT_EQ(pick_port_device(answer.bytes.data(), first + 12 + 10, 0, nullptr), PORT_DEVICE_END);
    // A header cut short.
    EXPECT_EQ(pick_port_device(answer.bytes.data(), first + 6, 0, nullptr), PORT_DEVICE_END);
    // The bus header itself cut short.
    EXPECT_EQ(pick_port_device(answer.bytes.data(), 10, 0, nullptr), PORT_DEVICE_END);

    // A next offset pointing far outside the buffer.
    PortAnswer::put_u32(answer.bytes, first + 8, 0xFFFFFFF0u);
    EXPECT_EQ(answer.pick(1), PORT_DEVICE_END);
    EXPECT_EQ(answer.pick(5), PORT_DEVICE_END);

    // A first offset outside the buffer.
    PortAnswer::put_u32(answer.bytes, 8, 0x7FFFFFFFu);
    EXPECT_EQ(answer.pick(0), PORT_DEVICE_END);

    // A length field that would wrap when added to the offset.
    PortAnswer wrapping;
    const std::size_t at = wrapping.add(0, 2, 0, false, 0x03);
    PortAnswer::put_u32(wrapping.bytes, at + 4, 0xFFFFFFFFu);
    EXPECT_EQ(wrapping.pick(0), PORT_DEVICE_END);
}

TEST(PortInquiry, ChainLoopingOnItselfStaysInside) {
    PortAnswer answer;
    const std::size_t first = answer.add(0, 2, 0, false, 0x03);
    PortAnswer::put_u32(answer.bytes, first + 8, static_cast<std::uint32_t>(first));
    // A loop never reads outside; every step names the same device again.
    EXPECT_EQ(answer.pick(3), 0x03);
}

class ExtraBusList : public ::testing::Test {
protected:
    void SetUp() override { clear_device_table(); }
    void TearDown() override { clear_device_table(); }
};

TEST_F(ExtraBusList, KeepsKeysSortedAndUnique) {
    EXPECT_TRUE(insert_extra_bus_device({2, 1, 0, 0, 100}));
    EXPECT_TRUE(insert_extra_bus_device({0, 2, 5, 0, 101}));
    EXPECT_TRUE(insert_extra_bus_device({0, 1, 9, 1, 102}));
    EXPECT_FALSE(insert_extra_bus_device({0, 2, 5, 0, 103}));  // same address again
    EXPECT_EQ(extra_bus_count(), 3u);
}

TEST_F(ExtraBusList, RefusesWhenFull) {
    for (std::uint32_t i = 0; i < EXTRA_BUS_LIST_CAPACITY; ++i) {
        ASSERT_TRUE(insert_extra_bus_device({static_cast<std::uint8_t>(i >> 8), 1,
                                             static_cast<std::uint8_t>(i & 0x7F),
                                             static_cast<std::uint8_t>((i >> 7) & 1), i + 1}));
    }
    EXPECT_FALSE(insert_extra_bus_device({9, 9, 9, 0, 5000}));
    EXPECT_EQ(extra_bus_count(), EXTRA_BUS_LIST_CAPACITY);
}

}  // namespace
