// Requests that the ASPI library completes on its own thread after the send call returned:
// the wait must see them finish, with their data, and pump window messages only for writes.
#include <chrono>
#include <cstdint>
#include <functional>

#include "lib_aspi_bridge.h"
#include "lib_aspi_transfer.h"
#include "os_threads.h"
#include "scsi_test_support.h"
#include "ui_seam.h"

namespace korvel {
namespace {

using scsi_test::BufferDevice;
using scsi_test::LibraryModeTest;
using scsi_test::page_with;

// A window whose message processing is counted; after `release_after` rounds it lets the
// held completions go, as if the bridge finished while the window was repainting.
class CountingWindow final : public UserInterface {
public:
    void bring_to_front() override {}
    int message_box(const char*, const char*, std::uint32_t) override { return ID_OK; }
    void process_pending_messages() override {
        if (++rounds == release_after && library != nullptr) library->release_completions();
    }

    int rounds = 0;
    int release_after = 0;
    SimAspiLibrary* library = nullptr;
};

class LateCompletion : public LibraryModeTest {
protected:
    void SetUp() override {
        LibraryModeTest::SetUp();
        sim.aspi.attach(0, 3, 0, bridge);
        sim.aspi.complete_on_worker(std::chrono::milliseconds(20));
        window.library = &sim.aspi;
        install_user_interface(&window);
    }
    void TearDown() override {
        install_user_interface(nullptr);
        sim.aspi.release_completions();
        sim.aspi.wait_idle();
        LibraryModeTest::TearDown();
    }

    std::shared_ptr<BufferDevice> bridge = std::make_shared<BufferDevice>();
    CountingWindow window;
    std::uint8_t data[512] = {};
};

TEST_F(LateCompletion, CommandsSeeTheStatusAndDataWrittenOnTheLibraryThread) {
    std::int32_t type = 0, removable = 0, family = 0;
    char model[INQUIRY_MODEL_CAPACITY] = "", vendor[VENDOR_TEXT_CAPACITY] = "",
         product[PRODUCT_TEXT_CAPACITY] = "", revision[REVISION_TEXT_CAPACITY] = "";
    scsi_inquiry(0, 3, 0, type, removable, family, model, vendor, product, revision);
    EXPECT_EQ(type, SIM_TYPE_DISK);
    EXPECT_STREQ(vendor, "KORVEL  ");

    bridge->set_vpd_page(0xC3, page_with({{44, "PV30-QTRL-01A5"}}));
    char bridge_model[BRIDGE_MODEL_CAPACITY] = "";
    identify_bridge(0, 3, 0, family, bridge_model, nullptr, nullptr);
    EXPECT_EQ(family, 21);
    EXPECT_STREQ(bridge_model, "PV30-QTRL-01A5");

    EXPECT_EQ(read_buffer_62(0, 3, 0, 0, 256, data), 0);
    EXPECT_EQ(data[255], 255);
    EXPECT_EQ(window.rounds, 0);  // reading commands never pump
}

// Lets the held completions go once the command has been sent, or after the timer.
class Releaser final : public ThreadWork {
public:
    Releaser(SimAspiLibrary& library, std::chrono::milliseconds timer)
        : library_(library), timer_ms_(static_cast<std::uint32_t>(timer.count())) {}
    void run() override {
        sent.wait(timer_ms_);
        library_.release_completions();
    }

    ThreadEvent sent{os_threads()};

private:
    SimAspiLibrary& library_;
    const std::uint32_t timer_ms_;
};

// Sends one command while the library holds its completions. The window lets them go after
// three rounds of message processing; failing that, a timer does after `timer` (so a wait
// that does not pump fails the test instead of hanging it). Returns the command's result.
int send_held(SimAspiLibrary& library, CountingWindow& window, std::chrono::milliseconds timer,
              const std::function<int()>& send) {
    library.hold_completions();
    window.rounds = 0;
    window.release_after = 3;
    Releaser releaser(library, timer);
    const OsHandle thread = os_threads().start(releaser);
    const int result = send();
    releaser.sent.set();
    os_threads().join(thread);
    return result;
}

TEST_F(LateCompletion, WritesProcessWindowMessagesWhileWaitingAndReadsDoNot) {
    using std::chrono::milliseconds;
    const std::uint8_t* out = data;
    const struct {
        const char* name;
        std::function<int()> send;
        bool pumps;
    } cases[] = {
        {"write_buffer_76", [&] { return write_buffer_76(0, 3, 0, 0, 64, out); }, true},
        {"write_buffer_71", [&] { return write_buffer_71(0, 3, 0, 0, 0, nullptr); }, true},
        {"write_buffer_78", [&] { return write_buffer_78(0, 3, 0, 0, 64, out); }, true},
        {"write_buffer_78_upper", [&] { return write_buffer_78_upper(0, 3, 0, 0, 64, out); },
         true},
        {"write_buffer_7c", [&] { return write_buffer_7c(0, 3, 0, 2, 0, 64, out); }, true},
        {"write_buffer_64", [&] { return write_buffer_64(0, 3, 0, 0, 64, out); }, true},
        {"write_buffer_61", [&] { return write_buffer_61(0, 3, 0, 0x100000); }, true},
        {"read_buffer_78", [&] { return read_buffer_78(0, 3, 0, 0, 64, data); }, false},
        {"read_buffer_7c", [&] { return read_buffer_7c(0, 3, 0, 2, 0, 64, data); }, false},
        {"read_buffer_62", [&] { return read_buffer_62(0, 3, 0, 0, 64, data); }, false},
        {"read_sub_channel", [&] { return read_sub_channel(0, 3, 0); }, false},
    };
    for (const auto& c : cases) {
        const milliseconds timer = c.pumps ? milliseconds(2000) : milliseconds(30);
        EXPECT_EQ(send_held(sim.aspi, window, timer, c.send), 0) << c.name;
        if (c.pumps) {
            EXPECT_GE(window.rounds, 3) << c.name;
        } else {
            EXPECT_EQ(window.rounds, 0) << c.name;
        }
    }
    EXPECT_EQ(data[63], 63);  // the last read's data, written on the library's thread

    install_user_interface(nullptr);  // no window yet: a pumped wait still ends
    EXPECT_EQ(send_held(sim.aspi, window, milliseconds(30),
                        [&] { return write_buffer_64(0, 3, 0, 0, 64, out); }),
              0);
}

}  // namespace
}  // namespace korvel
