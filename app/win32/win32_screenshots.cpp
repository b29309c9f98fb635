#include "win32_screenshots.h"

#include "lib_aspi_bridge.h"
// After the seam's headers: <windows.h> defines macros named like some of their constants.
#include "win32_main_window.h"
#include "win32_text.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace korvel {

namespace {

constexpr UINT SETTLE_MS = 700;
constexpr int MARGIN = 12;

struct ScreenshotRun {
    Win32MainWindow* window = nullptr;
    std::string folder;
    std::string tag;
    std::string firmware_folder;
    HWND hint_button = nullptr;
};

// The one picture run of the program.
ScreenshotRun run;

std::wstring wide_path(const std::string& path) {
    std::vector<wchar_t> wide(path.size() + 1);
    wide_text(path.c_str(), wide.data(), wide.size());
    return std::wstring(wide.data());
}

std::string picture_path(const char* name) {
    return run.folder + "/" + name + "-win32-" + run.tag + ".bmp";
}

// Saves the part of the screen inside area (grown by the margin) as a 24-bit bitmap file.
void save_screen(RECT area, const std::string& path) {
    InflateRect(&area, MARGIN, MARGIN);
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height;  // bottom-up, as a bitmap file keeps its rows
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &pixels, nullptr, 0);
    const auto row_bytes = static_cast<DWORD>((width * 3 + 3) & ~3);
    const DWORD image_bytes = row_bytes * static_cast<DWORD>(height);
    bool saved = false;
    if (bitmap != nullptr) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
        GdiFlush();
        SelectObject(memory, old);
        BITMAPFILEHEADER header{};
        header.bfType = 0x4D42;  // "BM"
        header.bfOffBits = sizeof header + sizeof format.bmiHeader;
        header.bfSize = header.bfOffBits + image_bytes;
        FILE* file = _wfopen(wide_path(path).c_str(), L"wb");
        if (file != nullptr) {
            saved = std::fwrite(&header, sizeof header, 1, file) == 1 &&
                    std::fwrite(&format.bmiHeader, sizeof format.bmiHeader, 1, file) == 1 &&
                    std::fwrite(pixels, image_bytes, 1, file) == 1;
            saved = std::fclose(file) == 0 && saved;
        }
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!saved) std::fprintf(stderr, "korvel-sim: cannot save %s\n", path.c_str());
}

RECT window_area(HWND window) {
    RECT area{};
    GetWindowRect(window, &area);
    return area;
}

RECT joined(RECT one, HWND other) {
    RECT both{};
    const RECT second = window_area(other);
    UnionRect(&both, &one, &second);
    return both;
}

// The first shown target of a family with a capacity and a bus speed to show (PV40).
int button_with_full_hint(const MainForm& form) {
    for (int i = 0; i < form.target_count(); ++i) {
        if (form.target_record(i).family_code == FAMILY_PV40) return i;
    }
    return 0;
}

struct WindowSearch {
    const wchar_t* class_name;
    HWND found;
};

BOOL CALLBACK match_window(HWND candidate, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    std::array<wchar_t, 64> name{};
    GetClassNameW(candidate, name.data(), static_cast<int>(name.size()));
    if (IsWindowVisible(candidate) && lstrcmpW(name.data(), search->class_name) == 0) {
        search->found = candidate;
        return FALSE;
    }
    return TRUE;
}

// A shown top-level window of this thread of the class.
HWND shown_window_of_class(const wchar_t* class_name) {
    WindowSearch search{class_name, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), match_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void after(UINT milliseconds, TIMERPROC step) { SetTimer(nullptr, 0, milliseconds, step); }

void CALLBACK answer_confirmation(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    const HWND box = shown_window_of_class(L"#32770");  // the message box's dialog class
    if (box == nullptr) {
        after(100, answer_confirmation);
        return;
    }
    save_screen(joined(window_area(run.window->window()), box), picture_path("confirm"));
    // No: nothing is written. The window then closes the ordinary way.
    PostMessageW(box, WM_COMMAND, IDNO, 0);
    PostMessageW(run.window->window(), WM_CLOSE, 0, 0);
}

void CALLBACK confirm_shot(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    SendMessageW(run.hint_button, WM_MOUSELEAVE, 0, 0);
    const std::string sample = run.firmware_folder + "/PV40-QTRLB-0E1.bin";
    run.window->answer_file_dialog([sample]() -> std::optional<std::string> { return sample; });
    after(SETTLE_MS, answer_confirmation);
    // The box is modal: the timer above runs inside its loop.
    SendMessageW(run.window->window(), WM_COMMAND,
                 MAKEWPARAM(controls::BTN_UpdateKORVEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(run.window->window(),
                                                     controls::BTN_UpdateKORVEL)));
}

void CALLBACK hint_shot(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    RECT area = window_area(run.window->window());
    if (const HWND tip = shown_window_of_class(TOOLTIPS_CLASSW)) area = joined(area, tip);
    save_screen(area, picture_path("hint"));
    after(SETTLE_MS, confirm_shot);
}

void CALLBACK window_shot(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    const MainForm& form = run.window->form();
    if (!form.service_started()) {
        after(100, window_shot);
        return;
    }
    const HWND main = run.window->window();
    save_screen(window_area(main), picture_path("window"));
    // The hint of a bridge whose hint has every line: its button pressed, the pointer resting
    // on it.
    const int control = controls::BTN_Target_0 + button_with_full_hint(form);
    run.hint_button = GetDlgItem(main, control);
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                 reinterpret_cast<LPARAM>(run.hint_button));
    RECT button = window_area(run.hint_button);
    SetCursorPos((button.left + button.right) / 2, (button.top + button.bottom) / 2);
    SendMessageW(run.hint_button, WM_MOUSEMOVE, 0, 0);
    SendMessageW(run.hint_button, WM_MOUSEHOVER, 0, 0);
    after(SETTLE_MS, hint_shot);
}

}  // namespace

void take_win32_screenshots(Win32MainWindow& window, const std::string& folder,
                            const std::string& tag, const std::string& firmware_folder) {
    CreateDirectoryW(wide_path(folder).c_str(), nullptr);
    run = {&window, folder, tag, firmware_folder, nullptr};
    // The pointer out of the way, so no hint shows in the picture of the window.
    SetCursorPos(0, 0);
    after(SETTLE_MS * 2, window_shot);
}

}  // namespace korvel
