// Firmware transfer commands: their CDB bytes, data phases, results and pauses.
#include <chrono>
#include <functional>
#include <string>

#include "lib_aspi_transfer.h"
#include "scsi_test_support.h"
#include "sim_threads.h"
#include "ui_seam.h"

namespace korvel {
namespace {

using scsi_test::BufferDevice;
using scsi_test::LibraryModeTest;
using scsi_test::only_command;
using Bytes = std::vector<std::uint8_t>;

class FirmwareTransfer : public LibraryModeTest {
protected:
    void SetUp() override {
        LibraryModeTest::SetUp();
        sim.aspi.attach(0, 3, 1, bridge);
        for (std::size_t i = 0; i < image.size(); ++i) {
            image[i] = static_cast<std::uint8_t>(i * 7);
        }
    }

    std::shared_ptr<BufferDevice> bridge = std::make_shared<BufferDevice>();
    Bytes image = Bytes(0x10010);
    Bytes readback = Bytes(0x10010);
};

struct Expected {
    const char* name;
    std::function<int()> send;
    Bytes cdb;
    SimDirection direction;
    std::uint32_t length;
};

TEST_F(FirmwareTransfer, EveryCommandSendsItsOwnCdbAndDataPhase) {
    const std::uint8_t* out = image.data();
    std::uint8_t* in = readback.data();
    // Target 3, LUN 1: the LUN never shows in byte 1, which always holds the mode 0x17.
    const Expected cases[] = {
        {"read_buffer_78", [&] { return read_buffer_78(0, 3, 1, 0x0100, 4096, in); },
         {0x3C, 0x17, 0x78, 0x00, 0x01, 0x00, 0x00, 0x10, 0x00, 0x00}, SimDirection::in, 4096},
        {"write_buffer_76", [&] { return write_buffer_76(0, 3, 1, 0x1234, 0x8000, out); },
         {0x3B, 0x17, 0x76, 0x00, 0x12, 0x34, 0x00, 0x80, 0x00, 0x00}, SimDirection::out, 0x8000},
        {"write_buffer_71", [&] { return write_buffer_71(0, 3, 1, 0, 0, nullptr); },
         {0x3B, 0x17, 0x71, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, SimDirection::out, 0},
        {"write_buffer_78", [&] { return write_buffer_78(0, 3, 1, 0x0100, 4096, out); },
         {0x3B, 0x17, 0x78, 0x00, 0x01, 0x00, 0x00, 0x10, 0x00, 0x00}, SimDirection::out, 4096},
        {"write_buffer_78_upper",
         [&] { return write_buffer_78_upper(0, 3, 1, 0x0100, 4096, out); },
         {0x3B, 0x17, 0x78, 0x08, 0x01, 0x00, 0x00, 0x10, 0x00, 0x00}, SimDirection::out, 4096},
        // The 16-bit form keeps the low 16 bits in the CDB but moves the full length.
        {"write_buffer_78 beyond 16 bits",
         [&] { return write_buffer_78(0, 3, 1, 0x12345, 0x10010, out); },
         {0x3B, 0x17, 0x78, 0x00, 0x23, 0x45, 0x00, 0x00, 0x10, 0x00}, SimDirection::out,
         0x10010},
        {"read_buffer_7c 2", [&] { return read_buffer_7c(0, 3, 1, 2, 0x0200, 512, in); },
         {0x3C, 0x17, 0x7D, 0x00, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00}, SimDirection::in, 512},
        {"read_buffer_7c 1", [&] { return read_buffer_7c(0, 3, 1, 1, 0, 512, in); },
         {0x3C, 0x17, 0x7C, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00}, SimDirection::in, 512},
        {"read_buffer_7c 0", [&] { return read_buffer_7c(0, 3, 1, 0, 0, 512, in); },
         {0x3C, 0x17, 0x7C, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00}, SimDirection::in, 512},
        {"write_buffer_7c 2", [&] { return write_buffer_7c(0, 3, 1, 2, 0, 512, out); },
         {0x3B, 0x17, 0x7D, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00}, SimDirection::out, 512},
        {"write_buffer_7c 3", [&] { return write_buffer_7c(0, 3, 1, 3, 0, 512, out); },
         {0x3B, 0x17, 0x7C, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00}, SimDirection::out, 512},
        {"read_buffer_62", [&] { return read_buffer_62(0, 3, 1, 0x100000, 32768, in); },
         {0x3C, 0x17, 0x62, 0x10, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00}, SimDirection::in, 32768},
        {"write_buffer_64", [&] { return write_buffer_64(0, 3, 1, 0x108000, 0x10010, out); },
         {0x3B, 0x17, 0x64, 0x10, 0x80, 0x00, 0x01, 0x00, 0x10, 0x00}, SimDirection::out,
         0x10010},
        {"write_buffer_61", [&] { return write_buffer_61(0, 3, 1, 1048576); },
         {0x3B, 0x17, 0x61, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, SimDirection::none, 0},
    };
    for (const Expected& c : cases) {
        bridge->clear_journal();
        EXPECT_EQ(c.send(), 0) << c.name;
        const SimJournalEntry sent = only_command(*bridge);
        EXPECT_EQ(sent.cdb, c.cdb) << c.name;
        EXPECT_EQ(sent.direction, c.direction) << c.name;
        EXPECT_EQ(sent.length, c.length) << c.name;
        if (c.direction == SimDirection::out) {
            EXPECT_EQ(sent.data_out,
                      Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(c.length)))
                << c.name;
        }
    }
}

TEST_F(FirmwareTransfer, ReadsFillTheCallersBuffer) {
    ASSERT_EQ(read_buffer_62(0, 3, 1, 0x100000, 300, readback.data()), 0);
    EXPECT_EQ(readback[0], 0);
    EXPECT_EQ(readback[299], static_cast<std::uint8_t>(299));
    EXPECT_EQ(readback[300], 0);
}

TEST_F(FirmwareTransfer, ReportsFailureWhenTheDeviceRefusesOrIsMissing) {
    sim.aspi.attach(0, 4, 0, make_disk());  // knows none of the buffer commands
    std::uint8_t* in = readback.data();
    const std::uint8_t* out = image.data();
    for (std::uint8_t target : {std::uint8_t{4}, std::uint8_t{9}}) {
        EXPECT_EQ(read_buffer_78(0, target, 0, 0, 16, in), -1);
        EXPECT_EQ(write_buffer_78(0, target, 0, 0, 16, out), -1);
        EXPECT_EQ(read_buffer_7c(0, target, 0, 2, 0, 16, in), -1);
        EXPECT_EQ(read_buffer_62(0, target, 0, 0, 16, in), -1);
        EXPECT_EQ(write_buffer_64(0, target, 0, 0, 16, out), -1);
        EXPECT_EQ(write_buffer_61(0, target, 0, 0), -1);
    }
}

TEST_F(FirmwareTransfer, WritesPauseBeforeTakingTheStatusExceptThePieceWrite) {
    using Clock = std::chrono::steady_clock;
    const auto timed = [](const std::function<int()>& send) {
        const auto start = Clock::now();
        EXPECT_EQ(send(), 0);
        return Clock::now() - start;
    };
    const std::uint8_t* out = image.data();
    EXPECT_GE(timed([&] { return write_buffer_78(0, 3, 1, 0, 64, out); }),
              std::chrono::milliseconds(100));
    EXPECT_GE(timed([&] { return write_buffer_61(0, 3, 1, 0x100000); }),
              std::chrono::milliseconds(100));
    // Without a pause a request completed at once takes a couple of 1 ms polls.
    EXPECT_LT(timed([&] { return write_buffer_64(0, 3, 1, 0, 64, out); }),
              std::chrono::milliseconds(80));
    EXPECT_LT(timed([&] { return read_buffer_78(0, 3, 1, 0, 64, readback.data()); }),
              std::chrono::milliseconds(80));
}

// A window with nothing to do, so that the pause after a write is a pumped one.
class IdleWindow final : public UserInterface {
public:
    void bring_to_front() override {}
    int message_box(const char*, const char*, std::uint32_t) override { return ID_OK; }
    void process_pending_messages() override {}
};

TEST_F(FirmwareTransfer, WritePauseLastsItsTimeWhenTheClockMovesInCoarseTicks) {
    // Windows XP's tick count moves every 10 or 15.625 ms; here its first tick comes just
    // after the pause's first reading, the phase that made a pause end most of a tick early.
    SimThreads threads;
    Platform platform = sim.seams();
    platform.threads = &threads;
    install_platform(platform);
    IdleWindow window;
    install_user_interface(&window);
    for (std::uint32_t tick_us : {10000u, 15625u}) {
        threads.set_clock_ticks(tick_us, 100);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(write_buffer_78(0, 3, 1, 0, 64, image.data()), 0);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100))
            << "tick of " << tick_us << " us";
    }
    install_user_interface(nullptr);
    sim.install();
}

}  // namespace
}  // namespace korvel
