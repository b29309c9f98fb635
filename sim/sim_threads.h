// The machine's own waits and threads (os_threads()) with two things a real system does that a
// test needs on demand: a clock that moves in coarse ticks, as GetTickCount does on Windows
// (10 to 16 ms), and threads that the scheduler runs late after their waits end.
//
// Everything else goes to the machine's own threads unchanged, so the waits stay real waits.
#pragma once

#include <chrono>
#include <cstdint>
#include <list>

#include "os_threads.h"

namespace korvel {

class SimThreads final : public Threads {
public:
    SimThreads() = default;
    SimThreads(const SimThreads&) = delete;
    SimThreads& operator=(const SimThreads&) = delete;

    /// From its next reading on, milliseconds() counts whole milliseconds that advance only
    /// once every tick_us microseconds (by the tick, rounded down as GetTickCount's count is),
    /// the first tick coming first_tick_us after that reading.
    void set_clock_ticks(std::uint32_t tick_us, std::uint32_t first_tick_us);
    /// Threads started from now on return this much later from every wait for an event that
    /// found it signalled, as if the scheduler ran them late.
    void set_late_wake(std::uint32_t milliseconds);

    void sleep(std::uint32_t milliseconds) override { os_threads().sleep(milliseconds); }
    void yield() override { os_threads().yield(); }
    std::uint32_t milliseconds() override;
    OsHandle start(ThreadWork& work) override;
    void join(OsHandle thread) override;
    OsHandle create_lock() override { return os_threads().create_lock(); }
    void lock(OsHandle lock) override { os_threads().lock(lock); }
    void unlock(OsHandle lock) override { os_threads().unlock(lock); }
    void close_lock(OsHandle lock) override { os_threads().close_lock(lock); }
    OsHandle create_event() override { return os_threads().create_event(); }
    void set_event(OsHandle event) override { os_threads().set_event(event); }
    void reset_event(OsHandle event) override { os_threads().reset_event(event); }
    bool wait_event(OsHandle event, std::uint32_t milliseconds) override;
    void close_event(OsHandle event) override { os_threads().close_event(event); }

private:
    using Clock = std::chrono::steady_clock;

    // A thread started here: what it runs and how late it wakes.
    struct Started final : ThreadWork {
        ThreadWork* work = nullptr;
        std::uint32_t late_ms = 0;
        OsHandle handle = 0;
        void run() override;
    };

    ThreadLock lock_{os_threads()};
    std::list<Started> started_;
    std::uint32_t late_ms_ = 0;
    std::uint32_t tick_us_ = 0;  // 0: the machine's own clock
    std::uint32_t first_tick_us_ = 0;
    bool clock_anchored_ = false;
    Clock::time_point anchor_;
};

}  // namespace korvel
