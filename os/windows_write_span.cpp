// The write span on Windows: the execution state keeps the machine from sleeping, and where
// Windows has them (Vista on) ShutdownBlockReasonCreate/Destroy give the reason it shows when
// the window refuses to let the session end. They are looked up at run time, as Windows XP
// lacks them; there the refusal stands without a reason.
#include "write_span_hold.h"
#include "util_platform_seam.h"
// After the seam's header: <windows.h> defines macros named like some of its constants.
#include <windows.h>

#include <string>

namespace korvel {

namespace {

using ShutdownBlockReasonCreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
using ShutdownBlockReasonDestroyFn = BOOL(WINAPI*)(HWND);

// The UTF-8 reason as Windows takes it.
std::wstring utf16_of(const char* utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (length <= 1) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

class ExecutionStateHold final : public WriteSpanHold {
public:
    bool take(const char* reason) override {
        const bool awake = SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
        if (window_ != nullptr && !reason_shown_) {
            const HMODULE user = GetModuleHandleW(L"user32.dll");
            const auto create = user == nullptr ? nullptr
                : reinterpret_cast<ShutdownBlockReasonCreateFn>(
                      reinterpret_cast<void*>(GetProcAddress(user, "ShutdownBlockReasonCreate")));
            if (create != nullptr) {
                reason_shown_ = create(window_, utf16_of(reason != nullptr ? reason : "").c_str()) != 0;
                reason_window_ = window_;
            }
        }
        return awake;
    }

    void release() override {
        if (reason_shown_) {
            const HMODULE user = GetModuleHandleW(L"user32.dll");
            const auto destroy = user == nullptr ? nullptr
                : reinterpret_cast<ShutdownBlockReasonDestroyFn>(
                      reinterpret_cast<void*>(GetProcAddress(user, "ShutdownBlockReasonDestroy")));
            if (destroy != nullptr) destroy(reason_window_);
            reason_shown_ = false;
        }
        // ES_CONTINUOUS alone clears what the span asked for.
        SetThreadExecutionState(ES_CONTINUOUS);
    }

    void set_window(HWND window) { window_ = window; }

private:
    HWND window_ = nullptr;
    HWND reason_window_ = nullptr;
    bool reason_shown_ = false;
};

ExecutionStateHold the_hold;

}  // namespace

WriteSpanHold& os_write_span_hold() { return the_hold; }

void set_write_span_window(std::uintptr_t window) {
    the_hold.set_window(reinterpret_cast<HWND>(window));
}

}  // namespace korvel
