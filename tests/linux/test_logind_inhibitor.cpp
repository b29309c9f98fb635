// The write span's hold on Linux: logind's inhibitor lock, taken through the system bus that
// with_mock_logind.py points DBUS_SYSTEM_BUS_ADDRESS at (a private bus with a simulated
// logind), around a real update of a simulated PV30 bridge. At every command the bridge
// receives the test asks logind which inhibitors it holds.
#include <systemd/sd-bus.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "family_test_support.h"
#include "korvel_family_dispatch.h"
#include "korvel_msg.h"
#include "korvel_progress_text.h"
#include "korvel_write_span.h"
#include "lib_aspi_bridge.h"
#include "lib_global.h"
#include "write_span_hold.h"

namespace korvel {
namespace {

using namespace family_test;
using firmware_images::bridge_image;

struct Inhibitor {
    std::string what, who, why, mode;
    bool operator==(const Inhibitor&) const = default;
};

// The inhibitors logind holds now, as ListInhibitors gives them.
std::vector<Inhibitor> held_inhibitors() {
    std::vector<Inhibitor> held;
    sd_bus* bus = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    if (sd_bus_open_system(&bus) >= 0 &&
        sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                           "org.freedesktop.login1.Manager", "ListInhibitors", &error, &reply,
                           "") >= 0 &&
        sd_bus_message_enter_container(reply, 'a', "(ssssuu)") >= 0) {
        const char *what, *who, *why, *mode;
        unsigned uid, pid;
        while (sd_bus_message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid) > 0) {
            held.push_back({what, who, why, mode});
        }
    } else {
        ADD_FAILURE() << "no simulated logind: " << (error.message ? error.message : "no bus");
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return held;
}

class LogindInhibitor : public FamilyTest {
protected:
    void SetUp() override {
        FamilyTest::SetUp();
        install_os_write_span_hold();
        attach(make_bridge(FAMILY_PV30));
        image = bridge_image(FAMILY_PV30, bridge->profile().model_text);
        bridge->set_observer([this](const SimJournalEntry&) { seen.push_back(held_inhibitors()); });
    }
    void TearDown() override {
        bridge->set_observer({});
        FamilyTest::TearDown();
    }
    Bytes image;
    std::vector<std::vector<Inhibitor>> seen;  // at each command the bridge received
};

TEST_F(LogindInhibitor, TakenAtYesHeldThroughEveryCommandAndDroppedAtTheClose) {
    EXPECT_EQ(update(image), UPDATE_WRITTEN);
    const Inhibitor ours{"sleep:shutdown", "korvel-update", write_span_reason(), "block"};
    ASSERT_EQ(seen.size(), 2u);  // the write and its read-back
    for (const auto& held : seen) EXPECT_EQ(held, std::vector<Inhibitor>{ours});
    close_write_span();
    EXPECT_TRUE(held_inhibitors().empty());

    // A second update takes it again.
    seen.clear();
    EXPECT_EQ(update(image), UPDATE_WRITTEN);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen.back(), std::vector<Inhibitor>{ours});
    close_write_span();
    EXPECT_TRUE(held_inhibitors().empty());
}

TEST_F(LogindInhibitor, NeverTakenForADeclinedOrDamagedFile) {
    ui.answers = {ID_NO};
    EXPECT_EQ(update(image), UPDATE_NOT_WRITTEN);
    EXPECT_FALSE(write_span_is_open());
    EXPECT_EQ(update(bridge_image(FAMILY_PV30, bridge->profile().model_text, Flaw::bad_checksum)),
              UPDATE_NOT_WRITTEN);
    EXPECT_FALSE(write_span_is_open());
    EXPECT_TRUE(held_inhibitors().empty());
    EXPECT_EQ(bridge->command_count(), 0u);
}

TEST_F(LogindInhibitor, WithoutASystemBusTheUpdateGoesOnSilently) {
    const char* bus = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::string saved = bus != nullptr ? bus : "";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/korvel-no-bus", 1);
    bridge->set_observer({});
    EXPECT_EQ(update(image), UPDATE_WRITTEN);
    EXPECT_EQ(ui.messages(), (std::vector<int>{MSG_CONFIRM_UPDATE, MSG_UPDATE_SUCCEEDED}));
    close_write_span();
    setenv("DBUS_SYSTEM_BUS_ADDRESS", saved.c_str(), 1);
}

}  // namespace
}  // namespace korvel
