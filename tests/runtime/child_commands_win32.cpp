// The child process tests' commands for cmd.exe.
#include <stdlib.h>

#include "child_commands.h"

namespace child_commands {

std::string print_environment() {
    return "set";
}
std::string two_lines_and_a_partial_one() {
    return "(echo one)&(echo two)&(<nul set /p =three)";
}
std::string output_then_error() {
    return "(echo out)&(echo err>&2)";
}
std::string exit_three() {
    return "exit 3";
}
// cmd.exe cannot name the process id of a program it starts: none is given.
std::string start_and_hang() {
    return "(echo started)&(ping -n 40 127.0.0.1 >nul)";
}
std::string missing_program() {
    return "C:\\nonexistent\\kelva-missing-program.exe";
}

std::string open_descriptor_and_check_command() {
    return "";
}

bool process_ends(const std::string&, int) {
    return true;
}

void set_own_variable(const std::string& name, const std::string& value) {
    _putenv_s(name.c_str(), value.c_str());
}

}  // namespace child_commands
