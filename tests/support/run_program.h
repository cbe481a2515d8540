// Runs a program as a user's shell would, its standard output and error going to two files (their
// lines ended as the program wrote them, also where the C library turns them into CR LF).
#pragma once

#include <string>

// The program's exit status, or -1 when it could not be run or did not exit normally.
int run_program(const std::string& program, const std::string& arguments,
                const std::string& output_file, const std::string& error_file);

// Puts a stand-in for the desktop's opener (xdg-open) first on the PATH that programs run with: it
// writes its argument and a line end to `record_file` and exits with `status`. False where files
// are opened through the shell instead (Windows), which has nothing to stand in for.
bool use_stand_in_opener(const std::string& folder, const std::string& record_file, int status);
