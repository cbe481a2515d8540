// run_program through the shell, with its redirections.
#include <sys/wait.h>

#include <cstdlib>

#include "tests/support/run_program.h"

int run_program(const std::string& program, const std::string& arguments,
                const std::string& output_file, const std::string& error_file) {
    const std::string command = program + " " + arguments + " >" + output_file + " 2>" + error_file;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
