// Opens a file with the program the shell has for it, the default browser for a .html file.
#include <windows.h>

// After windows.h, whose types it uses.
#include <shellapi.h>

#include "report/open_in_browser.h"

std::string open_in_browser(const std::string& path) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    // ShellExecute's contract: a value above 32 is success, the others are error codes.
    if (result > 32) return {};
    return "the shell has no program for it (error " + std::to_string(result) + ")";
}
