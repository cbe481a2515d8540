// run_program with CreateProcessA, the two files handed over as the child's standard handles.
#include <windows.h>

#include <fstream>
#include <sstream>

#include "tests/support/run_program.h"

namespace {

// The C library writes a program's text output with CR LF line ends on Windows, as a console
// wants them; the file is given back with the LF the program wrote.
void text_mode_line_ends_back_to_lf(const std::string& name) {
    std::ostringstream bytes;
    bytes << std::ifstream(name, std::ios::binary).rdbuf();
    std::string text = bytes.str();
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) plain += text[i];
    }
    std::ofstream(name, std::ios::binary | std::ios::trunc) << plain;
}

HANDLE inheritable_file(const std::string& name) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

int run_program(const std::string& program, const std::string& arguments,
                const std::string& output_file, const std::string& error_file) {
    const HANDLE output = inheritable_file(output_file);
    const HANDLE errors = inheritable_file(error_file);
    int exit_status = -1;
    if (output != INVALID_HANDLE_VALUE && errors != INVALID_HANDLE_VALUE) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = errors;
        PROCESS_INFORMATION process{};
        std::string command_line = "\"" + program + "\" " + arguments;
        if (CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                           nullptr, &startup, &process)) {
            DWORD code = 0;
            if (WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                GetExitCodeProcess(process.hProcess, &code)) {
                exit_status = static_cast<int>(code);
            }
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
    if (errors != INVALID_HANDLE_VALUE) CloseHandle(errors);
    text_mode_line_ends_back_to_lf(output_file);
    text_mode_line_ends_back_to_lf(error_file);
    return exit_status;
}

bool use_stand_in_opener(const std::string&, const std::string&, int) {
    return false;
}
