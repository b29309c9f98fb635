#include "win32_user_interface.h"

#include <array>

#include "win32_text.h"
#include "windows_foreground.h"

namespace korvel {

namespace {

Win32UserInterface the_win32_user_interface;

// Room for a message box's texts; the catalogue's longest is a few hundred characters.
std::array<wchar_t, 4096> box_text;
std::array<wchar_t, 256> box_caption;

}  // namespace

void Win32UserInterface::bring_to_front() {
    if (main_window_ == nullptr || !IsWindowVisible(main_window_)) return;
    bring_window_to_front(reinterpret_cast<std::uintptr_t>(main_window_));
}

int Win32UserInterface::message_box(const char* text, const char* caption,
                                    std::uint32_t flags) {
    const HWND owner =
        main_window_ != nullptr && IsWindowVisible(main_window_) ? main_window_ : nullptr;
    return MessageBoxW(owner, wide_text(text, box_text.data(), box_text.size()),
                       wide_text(caption, box_caption.data(), box_caption.size()), flags);
}

void Win32UserInterface::process_pending_messages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void install_win32_user_interface(HWND main_window) {
    the_win32_user_interface.set_main_window(main_window);
    install_user_interface(&the_win32_user_interface);
}

Win32UserInterface& win32_user_interface() { return the_win32_user_interface; }

}  // namespace korvel
