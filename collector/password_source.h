// Where the collector gets the router's password. Never from the command line, where every user
// of the machine can read it: a file, a systemd credential, or a prompt without echo.
#pragma once

#include <string>

struct PasswordResult {
    std::string password;
    std::string error;  // non-empty when there is no usable password: one line, no line end
    // Non-empty when the password is usable but its file is readable by every user of the
    // machine: one line that says how to mend it, for standard error.
    std::string warning;
};

// The first line of the file at path; a final LF or CR LF is not part of it. Refused: a file that
// cannot be read, an empty password, more than one line, a zero byte.
PasswordResult read_password_file(const std::string& path);

// The broker's password: the first line of mqtt_password_file when given, else of
// $CREDENTIALS_DIRECTORY/mqtt-password when that file exists and is not empty, else none (an
// empty password and no error).
PasswordResult find_mqtt_password(const std::string& mqtt_password_file);

// The sources in their order: password_file when given; else $CREDENTIALS_DIRECTORY/password when
// that file exists; else, when standard input is a terminal, a prompt on it without echo.
PasswordResult find_password(const std::string& password_file);
