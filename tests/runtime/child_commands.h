// The shell commands that the child process tests run, in the platform's own shell (sh or cmd).
#pragma once

#include <string>

namespace child_commands {

// Prints each variable of its environment as NAME=value, one a line.
std::string print_environment();
// Prints "one" and "two" on lines of their own, then "three" without a line end.
std::string two_lines_and_a_partial_one();
// Prints "out" on standard output, then "err" on standard error.
std::string output_then_error();
// Exits with status 3.
std::string exit_three();
// Prints "started" and then runs for 30 s or more. Where the platform can tell, it starts a
// program of its own first that runs as long, whose process id is the line before "started".
std::string start_and_hang();
// A program path that does not exist.
std::string missing_program();

// Opens a file in the test process as the collector's sockets and logs may be opened (without
// close-on-exec), and gives the command that prints "closed" when the child does not have it,
// "inherited" when it does; "" where the test cannot tell (Windows).
std::string open_descriptor_and_check_command();

// True when the process `id` (from start_and_hang) has ended, or ends within within_ms (a
// killed process takes a moment to be gone after it has closed its files).
bool process_ends(const std::string& id, int within_ms);

// Sets a variable of the test process's own environment.
void set_own_variable(const std::string& name, const std::string& value);

}  // namespace child_commands
