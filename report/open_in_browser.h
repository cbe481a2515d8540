// Opens a written file in the desktop's browser: xdg-open on Linux, the shell's default program
// for the file on Windows.
#pragma once

#include <string>

// Empty when the desktop took the file; else why it could not, in a few words.
std::string open_in_browser(const std::string& path);
