// The operating system's waits and threads.
//
// The command library pauses between polls of a request and after each write; a library that
// completes requests on a thread of its own needs a thread, a lock and a way to wait. All of it
// comes from Threads, which os/ implements once over Win32 (Sleep, CreateThread, critical
// sections, events: nothing newer than Windows XP needs) and once over POSIX threads. Nothing
// above os/ uses the C++ library's threads, mutexes or sleeps: the 32-bit Windows build's
// library has none (its compiler's thread model is win32, see the i686 toolchain file).
//
// There is no simulated Threads: tests and the simulation use the machine's own (os_threads()),
// or, where a test needs a coarse clock or late-running threads, sim/sim_threads.h around them.
#pragma once

#include <cstdint>

#include "platform_seam.h"

namespace korvel {

/// A timeout that never ends (Win32's INFINITE).
inline constexpr std::uint32_t WAIT_FOREVER = 0xFFFFFFFFu;

/// What a thread started by Threads::start runs. The caller keeps it alive until join returns.
class ThreadWork {
public:
    virtual ~ThreadWork() = default;
    virtual void run() = 0;
};

/// Waits, threads, locks and events. Locks and events are handles from create_lock and
/// create_event, released by close_lock and close_event.
class Threads {
public:
    virtual ~Threads() = default;
    /// Suspends the calling thread for at least this many milliseconds (Sleep / nanosleep).
    virtual void sleep(std::uint32_t milliseconds) = 0;
    /// Lets another ready thread run first (Sleep(0) / sched_yield).
    virtual void yield() = 0;
    /// Milliseconds of a clock that only goes forward, wrapping at 2^32 (GetTickCount /
    /// CLOCK_MONOTONIC): for measuring waits, not for telling the time.
    virtual std::uint32_t milliseconds() = 0;
    /// Runs work.run() on a new thread (CreateThread / pthread_create); 0 when none started.
    virtual OsHandle start(ThreadWork& work) = 0;
    /// Waits until a thread from start has ended, then releases its handle.
    virtual void join(OsHandle thread) = 0;
    /// A lock that one thread holds at a time, not recursive (critical section / mutex).
    virtual OsHandle create_lock() = 0;
    virtual void lock(OsHandle lock) = 0;
    virtual void unlock(OsHandle lock) = 0;
    virtual void close_lock(OsHandle lock) = 0;
    /// An event that stays signalled from set_event until reset_event; made unsignalled.
    virtual OsHandle create_event() = 0;
    virtual void set_event(OsHandle event) = 0;
    virtual void reset_event(OsHandle event) = 0;
    /// Waits until the event is signalled or the timeout has passed; true when signalled.
    virtual bool wait_event(OsHandle event, std::uint32_t milliseconds) = 0;
    virtual void close_event(OsHandle event) = 0;
};

/// Sleeps through the installed platform's threads; returns at once when it has none.
void platform_sleep(std::uint32_t milliseconds);
/// Yields through the installed platform's threads; returns at once when it has none.
void platform_yield();

/// A lock of its own, for std::lock_guard and std::unique_lock.
class ThreadLock {
public:
    explicit ThreadLock(Threads& threads) : threads_(threads), handle_(threads.create_lock()) {}
    ~ThreadLock() { threads_.close_lock(handle_); }
    ThreadLock(const ThreadLock&) = delete;
    ThreadLock& operator=(const ThreadLock&) = delete;

    void lock() { threads_.lock(handle_); }
    void unlock() { threads_.unlock(handle_); }

private:
    Threads& threads_;
    OsHandle handle_;
};

/// An event of its own that stays signalled from set until reset; made unsignalled.
class ThreadEvent {
public:
    explicit ThreadEvent(Threads& threads) : threads_(threads), handle_(threads.create_event()) {}
    ~ThreadEvent() { threads_.close_event(handle_); }
    ThreadEvent(const ThreadEvent&) = delete;
    ThreadEvent& operator=(const ThreadEvent&) = delete;

    void set() { threads_.set_event(handle_); }
    void reset() { threads_.reset_event(handle_); }
    bool wait(std::uint32_t milliseconds = WAIT_FOREVER) {
        return threads_.wait_event(handle_, milliseconds);
    }

private:
    Threads& threads_;
    OsHandle handle_;
};

}  // namespace korvel
