#include "sim_threads.h"

#include <mutex>

namespace korvel {

namespace {

// How late the calling thread wakes: set by each thread SimThreads started, 0 on all others.
thread_local std::uint32_t late_wake_ms = 0;

}  // namespace

void SimThreads::Started::run() {
    late_wake_ms = late_ms;
    work->run();
}

void SimThreads::set_clock_ticks(std::uint32_t tick_us, std::uint32_t first_tick_us) {
    std::lock_guard<ThreadLock> hold(lock_);
    tick_us_ = tick_us;
    first_tick_us_ = first_tick_us;
    clock_anchored_ = false;
}

void SimThreads::set_late_wake(std::uint32_t milliseconds) {
    std::lock_guard<ThreadLock> hold(lock_);
    late_ms_ = milliseconds;
}

std::uint32_t SimThreads::milliseconds() {
    std::lock_guard<ThreadLock> hold(lock_);
    if (tick_us_ == 0) return os_threads().milliseconds();
    const Clock::time_point now = Clock::now();
    if (!clock_anchored_) {
        anchor_ = now;
        clock_anchored_ = true;
    }
    const auto since = std::chrono::duration_cast<std::chrono::microseconds>(now - anchor_);
    const auto elapsed_us = static_cast<std::uint64_t>(since.count());
    const std::uint64_t ticks =
        elapsed_us < first_tick_us_ ? 0 : 1 + (elapsed_us - first_tick_us_) / tick_us_;
    return static_cast<std::uint32_t>(ticks * tick_us_ / 1000u);
}

OsHandle SimThreads::start(ThreadWork& work) {
    std::lock_guard<ThreadLock> hold(lock_);
    Started& started = started_.emplace_back();
    started.work = &work;
    started.late_ms = late_ms_;
    started.handle = os_threads().start(started);
    const OsHandle handle = started.handle;
    if (handle == 0) started_.pop_back();
    return handle;
}

void SimThreads::join(OsHandle thread) {
    os_threads().join(thread);
    std::lock_guard<ThreadLock> hold(lock_);
    started_.remove_if([thread](const Started& started) { return started.handle == thread; });
}

bool SimThreads::wait_event(OsHandle event, std::uint32_t milliseconds) {
    const bool signalled = os_threads().wait_event(event, milliseconds);
    if (signalled && late_wake_ms > 0) os_threads().sleep(late_wake_ms);
    return signalled;
}

}  // namespace korvel
