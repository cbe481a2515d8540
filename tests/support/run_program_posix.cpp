// run_program through the shell, with its redirections; the stand-in opener as a shell script.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/run_program.h"

int run_program(const std::string& program, const std::string& arguments,
                const std::string& output_file, const std::string& error_file) {
    const std::string command = program + " " + arguments + " >" + output_file + " 2>" + error_file;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool use_stand_in_opener(const std::string& folder, const std::string& record_file, int status) {
    const std::string script = folder + "/xdg-open";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$1\" > '" << record_file << "'\nexit "
                          << status << "\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const char* path = std::getenv("PATH");
    return setenv("PATH", (folder + ":" + (path != nullptr ? path : "/usr/bin:/bin")).c_str(), 1) ==
           0;
}
