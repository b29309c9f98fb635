#include "win32_program.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "korvel_second_copy.h"
#include "lib_global.h"
#include "ui_seam.h"
#include "win32_main_window.h"
#include "win32_user_interface.h"
#include "windows_foreground.h"
#include "write_span_hold.h"

namespace korvel {

namespace {

// The one main window of the run.
Win32MainWindow main_window;

}  // namespace

int run_win32_program(HINSTANCE instance, int show_command,
                      const std::function<void(Win32MainWindow&)>& prepare) {
    // Buttons and static controls of common controls 6 (the manifest asks for them), tooltips.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES |
                                                       ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    install_win32_user_interface(nullptr);

    if (!main_window.create(instance)) {
        char reason[96] = {};
        std::snprintf(reason, sizeof reason, "Windows refused the window (error %lu).",
                      GetLastError());
        // korvel-update.exe has no console: the reason is told in a box of its own, with no
        // window to belong to. korvel-sim.exe's console has it too.
        std::fprintf(stderr, "%s: %s\n", APPLICATION_TITLE, reason);
        show_message(reason, APPLICATION_TITLE, MB_ICON_STOP_OK);
        install_user_interface(nullptr);
        return EXIT_FAILURE;
    }
    win32_user_interface().set_main_window(main_window.window());
    // The window Windows names beside the reason when a write holds off the session's end.
    set_write_span_window(reinterpret_cast<std::uintptr_t>(main_window.window()));
    if (prepare) prepare(main_window);
    main_window.show(show_command);

    MSG message{};
    BOOL got = FALSE;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
        if (main_window.dialog_message(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    int code = got == 0 ? static_cast<int>(message.wParam) : EXIT_FAILURE;
    // A loop ended by an exception leaves the window open: close it the ordinary way, so the
    // reboot reminder is shown and the SCSI service stopped.
    if (main_window.window() != nullptr && !main_window.form().closed()) {
        SendMessageW(main_window.window(), WM_CLOSE, 0, 0);
    }
    if (main_window.form().start_failed() || main_window.exception_seen()) code = EXIT_FAILURE;
    install_user_interface(nullptr);
    return code;
}

int hand_over_to_running_copy() {
    // Only this session's desktop is searched: another user's copy is not found there, and
    // the box says that the program runs.
    const HWND running = Win32MainWindow::find_running_copy();
    if (running != nullptr) {
        bring_window_to_front(reinterpret_cast<std::uintptr_t>(running));
        return EXIT_SUCCESS;
    }
    install_win32_user_interface(nullptr);
    show_already_running();
    install_user_interface(nullptr);
    return EXIT_FAILURE;
}

}  // namespace korvel
