// Runs a program as a user's shell would, its standard output and error going to two files (their
// lines ended as the program wrote them, also where the C library turns them into CR LF).
#pragma once

#include <string>

// The program's exit status, or -1 when it could not be run or did not exit normally.
int run_program(const std::string& program, const std::string& arguments,
                const std::string& output_file, const std::string& error_file);
