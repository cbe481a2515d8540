// The password prompt: a line typed on the terminal without echo.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Whether standard input is a terminal (a console on Windows).
bool input_is_terminal();

// Writes prompt to standard error, reads one line from standard input with the echo off, restores
// the echo (also when the user interrupts) and ends the prompt's line. The line comes without its
// line end; nullopt when nothing could be read (end of input).
std::optional<std::string> read_hidden_line(std::string_view prompt);
