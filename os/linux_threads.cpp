// Waits and threads over POSIX threads. Events are a mutex, a condition variable on the
// monotonic clock and a flag.
#include "os_threads.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <bit>
#include <cerrno>

namespace korvel {

namespace {

static_assert(sizeof(pthread_t) == sizeof(OsHandle), "a thread must fit an OsHandle");

struct Event {
    pthread_mutex_t mutex;
    pthread_cond_t signalled_changed;
    bool signalled = false;
};

pthread_mutex_t* as_mutex(OsHandle handle) { return reinterpret_cast<pthread_mutex_t*>(handle); }

Event* as_event(OsHandle handle) { return reinterpret_cast<Event*>(handle); }

void* run_work(void* work) {
    static_cast<ThreadWork*>(work)->run();
    return nullptr;
}

// The monotonic time milliseconds from now.
timespec deadline_after(std::uint32_t milliseconds) {
    timespec when{};
    clock_gettime(CLOCK_MONOTONIC, &when);
    when.tv_sec += static_cast<time_t>(milliseconds / 1000);
    when.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (when.tv_nsec >= 1000000000L) {
        when.tv_sec += 1;
        when.tv_nsec -= 1000000000L;
    }
    return when;
}

class LinuxThreads final : public Threads {
public:
    void sleep(std::uint32_t milliseconds) override {
        timespec left{static_cast<time_t>(milliseconds / 1000),
                      static_cast<long>(milliseconds % 1000) * 1000000L};
        // A signal cuts the sleep short; the rest is slept after it.
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }

    void yield() override { sched_yield(); }
    std::uint32_t milliseconds() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                          static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
    }

    OsHandle start(ThreadWork& work) override {
        pthread_t thread{};
        if (pthread_create(&thread, nullptr, run_work, &work) != 0) return 0;
        return std::bit_cast<OsHandle>(thread);
    }

    void join(OsHandle thread) override {
        if (thread != 0) pthread_join(std::bit_cast<pthread_t>(thread), nullptr);
    }

    OsHandle create_lock() override {
        auto* mutex = new pthread_mutex_t;
        pthread_mutex_init(mutex, nullptr);
        return reinterpret_cast<OsHandle>(mutex);
    }

    void lock(OsHandle lock) override { pthread_mutex_lock(as_mutex(lock)); }

    void unlock(OsHandle lock) override { pthread_mutex_unlock(as_mutex(lock)); }

    void close_lock(OsHandle lock) override {
        if (lock == 0) return;
        pthread_mutex_destroy(as_mutex(lock));
        delete as_mutex(lock);
    }

    OsHandle create_event() override {
        auto* event = new Event;
        pthread_mutex_init(&event->mutex, nullptr);
        pthread_condattr_t attributes;
        pthread_condattr_init(&attributes);
        pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
        pthread_cond_init(&event->signalled_changed, &attributes);
        pthread_condattr_destroy(&attributes);
        return reinterpret_cast<OsHandle>(event);
    }

    void set_event(OsHandle handle) override {
        Event* event = as_event(handle);
        pthread_mutex_lock(&event->mutex);
        event->signalled = true;
        pthread_cond_broadcast(&event->signalled_changed);
        pthread_mutex_unlock(&event->mutex);
    }

    void reset_event(OsHandle handle) override {
        Event* event = as_event(handle);
        pthread_mutex_lock(&event->mutex);
        event->signalled = false;
        pthread_mutex_unlock(&event->mutex);
    }

    bool wait_event(OsHandle handle, std::uint32_t milliseconds) override {
        Event* event = as_event(handle);
        const timespec deadline = deadline_after(milliseconds);
        pthread_mutex_lock(&event->mutex);
        while (!event->signalled) {
            if (milliseconds == WAIT_FOREVER) {
                pthread_cond_wait(&event->signalled_changed, &event->mutex);
            } else if (pthread_cond_timedwait(&event->signalled_changed, &event->mutex,
                                              &deadline) == ETIMEDOUT) {
                break;
            }
        }
        const bool signalled = event->signalled;
        pthread_mutex_unlock(&event->mutex);
        return signalled;
    }

    void close_event(OsHandle handle) override {
        if (handle == 0) return;
        Event* event = as_event(handle);
        pthread_cond_destroy(&event->signalled_changed);
        pthread_mutex_destroy(&event->mutex);
        delete event;
    }
};

LinuxThreads threads;

}  // namespace

Threads& os_threads() { return threads; }

}  // namespace korvel
