// The password prompt on a POSIX terminal: termios without ECHO, put back on every way out.
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "collector/terminal_input.h"

namespace {

termios saved_mode{};

// Ctrl+C or a termination request at the prompt: the echo comes back before the program ends.
void restore_and_end(int signal_number) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_mode);
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

}  // namespace

bool input_is_terminal() {
    return isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> read_hidden_line(std::string_view prompt) {
    std::fwrite(prompt.data(), 1, prompt.size(), stderr);
    std::fflush(stderr);
    const bool mode_read = tcgetattr(STDIN_FILENO, &saved_mode) == 0;
    struct sigaction restoring {};
    struct sigaction old_interrupt {
    }, old_terminate{};
    if (mode_read) {
        restoring.sa_handler = &restore_and_end;
        sigemptyset(&restoring.sa_mask);
        sigaction(SIGINT, &restoring, &old_interrupt);
        sigaction(SIGTERM, &restoring, &old_terminate);
        termios quiet = saved_mode;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    if (mode_read) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_mode);
        sigaction(SIGINT, &old_interrupt, nullptr);
        sigaction(SIGTERM, &old_terminate, nullptr);
    }
    std::fputc('\n', stderr);
    if (!read) return std::nullopt;
    return line;
}
