#include "windows_foreground.h"

#include <windows.h>

namespace korvel {

void bring_window_to_front(std::uintptr_t window) {
    const HWND handle = reinterpret_cast<HWND>(window);
    if (handle == nullptr || !IsWindow(handle)) return;
    if (IsIconic(handle)) ShowWindow(handle, SW_RESTORE);
    SetForegroundWindow(handle);
    SetActiveWindow(handle);
    ShowWindow(handle, SW_RESTORE);
}

}  // namespace korvel
