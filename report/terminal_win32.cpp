// The report's console on Windows.
#include <io.h>
#include <windows.h>

#include <array>
#include <cstdio>

#include "report/terminal.h"

bool stderr_is_terminal() {
    return _isatty(_fileno(stderr)) != 0;
}

std::string double_click_folder() {
    // Started from a console, the program shares it with the shell; from Explorer, Windows made
    // the console for it alone.
    std::array<DWORD, 2> processes{};
    if (GetConsoleProcessList(processes.data(), static_cast<DWORD>(processes.size())) != 1)
        return {};
    std::array<char, MAX_PATH + 1> path{};
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::string folder(path.data(), length);
    const std::size_t separator = folder.find_last_of("\\/");
    return separator == std::string::npos ? std::string(".") : folder.substr(0, separator);
}

void show_message_box(const std::string& message) {
    MessageBoxA(nullptr, message.c_str(), "KelvaStats report", MB_OK | MB_ICONERROR);
}
