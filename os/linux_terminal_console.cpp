#include "terminal_console.h"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace korvel {

namespace {

// The signals the hold keeps from ending the process, and what they did before it.
constexpr std::array<int, 6> HELD_SIGNALS = {SIGINT, SIGQUIT, SIGTSTP, SIGHUP, SIGTERM, SIGTTOU};
std::array<struct sigaction, HELD_SIGNALS.size()> signals_before{};
bool interrupts_held = false;

int descriptor_of(TerminalStream stream) {
    switch (stream) {
    case TerminalStream::input: return STDIN_FILENO;
    case TerminalStream::output: return STDOUT_FILENO;
    case TerminalStream::error: break;
    }
    return STDERR_FILENO;
}

// A key at the terminal during the write: one fixed line, written as a signal handler may.
void tell_the_write_goes_on(int) {
    static const char line[] =
        "\nkorvel-update: the firmware is being written; it cannot be interrupted\n";
    const int saved = errno;
    [[maybe_unused]] const ssize_t ignored = write(STDERR_FILENO, line, sizeof line - 1);
    errno = saved;
}

}  // namespace

bool is_terminal(TerminalStream stream) { return isatty(descriptor_of(stream)) == 1; }

void write_terminal_text(TerminalStream stream, std::string_view text) {
    const int descriptor = descriptor_of(stream);
    while (!text.empty()) {
        const ssize_t count = write(descriptor, text.data(), text.size());
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(count));
    }
}

bool read_terminal_line(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return false;
    std::size_t length = 0;
    for (;;) {
        char byte = 0;
        const ssize_t count = read(STDIN_FILENO, &byte, 1);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            buffer[length] = '\0';
            return length > 0;
        }
        if (byte == '\n') break;
        if (length + 1 < size) buffer[length++] = byte;
    }
    if (length > 0 && buffer[length - 1] == '\r') --length;
    buffer[length] = '\0';
    return true;
}

void prepare_terminal_process() { signal(SIGPIPE, SIG_IGN); }

void hold_terminal_interrupts() {
    if (interrupts_held) return;
    interrupts_held = true;
    for (std::size_t i = 0; i < HELD_SIGNALS.size(); ++i) {
        struct sigaction held {};
        sigemptyset(&held.sa_mask);
        const int signal_number = HELD_SIGNALS[i];
        const bool from_keyboard =
            signal_number == SIGINT || signal_number == SIGQUIT || signal_number == SIGTSTP;
        held.sa_handler = from_keyboard ? tell_the_write_goes_on : SIG_IGN;
        held.sa_flags = SA_RESTART;
        sigaction(signal_number, &held, &signals_before[i]);
    }
}

void release_terminal_interrupts() {
    if (!interrupts_held) return;
    interrupts_held = false;
    for (std::size_t i = 0; i < HELD_SIGNALS.size(); ++i) {
        sigaction(HELD_SIGNALS[i], &signals_before[i], nullptr);
    }
}

}  // namespace korvel
