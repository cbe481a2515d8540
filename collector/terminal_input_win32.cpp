// The password prompt on a Windows console: the console's echo mode off while the line is read.
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "collector/terminal_input.h"

bool input_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

std::optional<std::string> read_hidden_line(std::string_view prompt) {
    std::fwrite(prompt.data(), 1, prompt.size(), stderr);
    std::fflush(stderr);
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved_mode = 0;
    const bool mode_read = GetConsoleMode(input, &saved_mode) != 0;
    if (mode_read) SetConsoleMode(input, saved_mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    if (mode_read) SetConsoleMode(input, saved_mode);
    std::fputc('\n', stderr);
    if (!read) return std::nullopt;
    return line;
}
