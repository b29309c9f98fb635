// Waits and threads over Win32 calls that Windows XP has (and Windows 9x: Sleep(0) rather than
// SwitchToThread, CreateEventA rather than CreateEventW).
#include "os_threads.h"

#include <windows.h>

namespace korvel {

static_assert(WAIT_FOREVER == INFINITE);

namespace {

HANDLE as_handle(OsHandle handle) { return reinterpret_cast<HANDLE>(handle); }

CRITICAL_SECTION* as_section(OsHandle handle) {
    return reinterpret_cast<CRITICAL_SECTION*>(handle);
}

DWORD WINAPI run_work(LPVOID work) {
    static_cast<ThreadWork*>(work)->run();
    return 0;
}

class WindowsThreads final : public Threads {
public:
    void sleep(std::uint32_t milliseconds) override { Sleep(milliseconds); }

    void yield() override { Sleep(0); }
    std::uint32_t milliseconds() override { return GetTickCount(); }

    OsHandle start(ThreadWork& work) override {
        return reinterpret_cast<OsHandle>(CreateThread(nullptr, 0, run_work, &work, 0, nullptr));
    }

    void join(OsHandle thread) override {
        if (thread == 0) return;
        WaitForSingleObject(as_handle(thread), INFINITE);
        CloseHandle(as_handle(thread));
    }

    OsHandle create_lock() override {
        auto* section = new CRITICAL_SECTION;
        InitializeCriticalSection(section);
        return reinterpret_cast<OsHandle>(section);
    }

    void lock(OsHandle lock) override { EnterCriticalSection(as_section(lock)); }

    void unlock(OsHandle lock) override { LeaveCriticalSection(as_section(lock)); }

    void close_lock(OsHandle lock) override {
        if (lock == 0) return;
        DeleteCriticalSection(as_section(lock));
        delete as_section(lock);
    }

    OsHandle create_event() override {
        return reinterpret_cast<OsHandle>(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    }

    void set_event(OsHandle event) override { SetEvent(as_handle(event)); }

    void reset_event(OsHandle event) override { ResetEvent(as_handle(event)); }

    bool wait_event(OsHandle event, std::uint32_t milliseconds) override {
        return WaitForSingleObject(as_handle(event), milliseconds) == WAIT_OBJECT_0;
    }

    void close_event(OsHandle event) override {
        if (event != 0) CloseHandle(as_handle(event));
    }
};

WindowsThreads threads;

}  // namespace

Threads& os_threads() { return threads; }

}  // namespace korvel
