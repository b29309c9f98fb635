#include "terminal_console.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace korvel {

namespace {

std::atomic<bool> interrupts_held{false};
bool handler_installed = false;

HANDLE handle_of(TerminalStream stream) {
    switch (stream) {
    case TerminalStream::input: return GetStdHandle(STD_INPUT_HANDLE);
    case TerminalStream::output: return GetStdHandle(STD_OUTPUT_HANDLE);
    case TerminalStream::error: break;
    }
    return GetStdHandle(STD_ERROR_HANDLE);
}

bool is_console(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

void write_bytes(HANDLE handle, const char* bytes, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
        if (!WriteFile(handle, bytes, chunk, &written, nullptr) || written == 0) return;
        bytes += written;
        size -= written;
    }
}

// Runs on a thread of the system's own. Ctrl+C and Ctrl+Break are answered with a line; a
// closed console window, a log-off or a shut-down waits here until the write is over (the
// system ends the process once this returns).
BOOL WINAPI console_event(DWORD event) {
    if (!interrupts_held.load()) return FALSE;
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        static const char line[] =
            "\r\nkorvel-update: the firmware is being written; it cannot be interrupted\r\n";
        write_terminal_text(TerminalStream::error, line);
        return TRUE;
    }
    while (interrupts_held.load()) Sleep(100);
    return FALSE;
}

}  // namespace

bool is_terminal(TerminalStream stream) { return is_console(handle_of(stream)); }

void write_terminal_text(TerminalStream stream, std::string_view text) {
    const HANDLE handle = handle_of(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
    if (!is_console(handle)) {
        write_bytes(handle, text.data(), text.size());
        return;
    }
    // A console shows characters, whatever its code page: the UTF-8 is written as UTF-16.
    const int size = static_cast<int>(text.size());
    const int wide_size = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (wide_size <= 0) return;
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), wide_size);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

bool read_terminal_line(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return false;
    buffer[0] = '\0';
    const HANDLE input = handle_of(TerminalStream::input);
    if (!is_console(input)) return false;
    // One line as the console's line editing delivers it, its end included.
    wchar_t line[256];
    DWORD count = 0;
    if (!ReadConsoleW(input, line, 255, &count, nullptr) || count == 0) return false;
    bool whole = false;
    while (count > 0 && (line[count - 1] == L'\n' || line[count - 1] == L'\r')) {
        whole = true;
        --count;
    }
    // The rest of a longer line is dropped.
    for (wchar_t rest[64]; !whole;) {
        DWORD more = 0;
        if (!ReadConsoleW(input, rest, 64, &more, nullptr) || more == 0) break;
        whole = rest[more - 1] == L'\n';
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, line, static_cast<int>(count), buffer,
                                           static_cast<int>(size - 1), nullptr, nullptr);
    buffer[length > 0 ? length : 0] = '\0';
    return true;
}

void prepare_terminal_process() {}

void hold_terminal_interrupts() {
    if (!handler_installed) handler_installed = SetConsoleCtrlHandler(console_event, TRUE) != 0;
    interrupts_held.store(true);
}

void release_terminal_interrupts() { interrupts_held.store(false); }

}  // namespace korvel
