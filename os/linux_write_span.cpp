// The write span on Linux: logind's Inhibit("sleep:shutdown", program, reason, "block") over
// the system bus, held by keeping the descriptor logind hands back and let go by closing it.
// Without a system bus or logind nothing is held and the write goes on as before.
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include "write_span_hold.h"
#include "util_platform_seam.h"

namespace korvel {

namespace {

constexpr const char* LOGIND_SERVICE = "org.freedesktop.login1";
constexpr const char* LOGIND_PATH = "/org/freedesktop/login1";
constexpr const char* LOGIND_MANAGER = "org.freedesktop.login1.Manager";
constexpr const char* INHIBITED = "sleep:shutdown";
constexpr const char* INHIBITOR_NAME = "korvel-update";
constexpr const char* INHIBIT_MODE = "block";
// A bus that does not answer within this long is treated as no bus: the person has just said
// Yes and waits for the write to start.
constexpr std::uint64_t CALL_TIMEOUT_MICROSECONDS = 3'000'000;

class LogindInhibitor final : public WriteSpanHold {
public:
    bool take(const char* reason) override {
        if (inhibitor_ >= 0) return true;
        sd_bus* bus = nullptr;
        if (sd_bus_open_system(&bus) < 0) return false;
        sd_bus_message* call = nullptr;
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        int descriptor = -1;
        if (sd_bus_message_new_method_call(bus, &call, LOGIND_SERVICE, LOGIND_PATH,
                                           LOGIND_MANAGER, "Inhibit") >= 0 &&
            sd_bus_message_append(call, "ssss", INHIBITED, INHIBITOR_NAME,
                                  reason != nullptr ? reason : "", INHIBIT_MODE) >= 0 &&
            sd_bus_call(bus, call, CALL_TIMEOUT_MICROSECONDS, &error, &reply) >= 0 &&
            sd_bus_message_read(reply, "h", &descriptor) >= 0 && descriptor >= 0) {
            // The reply owns its descriptor: keep a copy of our own, above the standard three.
            inhibitor_ = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
        }
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        sd_bus_message_unref(call);
        sd_bus_flush_close_unref(bus);
        return inhibitor_ >= 0;
    }

    void release() override {
        if (inhibitor_ < 0) return;
        close(inhibitor_);
        inhibitor_ = -1;
    }

private:
    int inhibitor_ = -1;
};

LogindInhibitor the_hold;

}  // namespace

WriteSpanHold& os_write_span_hold() { return the_hold; }

void set_write_span_window(std::uintptr_t) {}

}  // namespace korvel
