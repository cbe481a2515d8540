// What the window shows, on the console instead, one line per event so that the system journal
// keeps it in order: status lines on standard output; boxes and the alarm on standard error.
#pragma once

#include <string_view>

// Installs the console's status text, message box and alarm output.
void install_console_calls();

// One line on standard output or standard error, flushed at once. Safe from any thread.
void print_output_line(std::string_view text);
void print_error_line(std::string_view text);

// Whether the alarm was said since the previous call. Safe from any thread.
bool take_alarm_said();
