// googletest's own Notification is written over std::mutex and std::condition_variable, which
// the win32-thread-model libstdc++ of GCC 12 (the 32-bit Windows build) lacks. googletest uses
// it only to start the threads of its own thread tests; this one waits by yielding.
// tests/CMakeLists.txt puts this folder ahead of googletest's own headers in such builds.
#ifndef KORVEL_GTEST_CUSTOM_PORT_H
#define KORVEL_GTEST_CUSTOM_PORT_H

#include <atomic>
#include <thread>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true, std::memory_order_release); }
    void WaitForNotification() {
        while (!notified_.load(std::memory_order_acquire)) std::this_thread::yield();
    }

private:
    std::atomic<bool> notified_{false};
};

}  // namespace testing::internal

#endif  // KORVEL_GTEST_CUSTOM_PORT_H
