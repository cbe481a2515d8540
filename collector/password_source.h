// Where the collector gets the router's password. Never from the command line, where every user
// of the machine can read it: a file, a systemd credential, or a prompt without echo.
#pragma once

#include <string>

struct PasswordResult {
    std::string password;
    std::string error;  // non-empty when there is no usable password: one line, no line end
};

// The first line of the file at path; a final LF or CR LF is not part of it. Refused: a file that
// cannot be read, an empty password, more than one line, a zero byte.
PasswordResult read_password_file(const std::string& path);

// The sources in their order: password_file when given; else $CREDENTIALS_DIRECTORY/password when
// that file exists; else, when standard input is a terminal, a prompt on it without echo.
PasswordResult find_password(const std::string& password_file);
