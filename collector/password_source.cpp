// The password's sources, in the order the collector tries them.
#include "collector/password_source.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "collector/file_access.h"
#include "collector/terminal_input.h"

namespace {

// A password longer than this is not a password (a wrong file was named, say /dev/zero).
constexpr std::size_t max_password_bytes = 1024;

// The password in text, the contents of a password file or the line typed at the prompt.
PasswordResult password_from_text(std::string text, const std::string& source) {
    PasswordResult result;
    // A final line end, and any blank lines after it, are not part of the password.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.find_first_of("\r\n") != std::string::npos) {
        result.error = source + " holds more than one line; the password is one line";
    } else if (text.find('\0') != std::string::npos) {
        result.error = source + " holds a zero byte, which no password can";
    } else if (text.empty()) {
        result.error = "the password in " + source + " is empty";
    } else {
        result.password = std::move(text);
    }
    return result;
}

// Whether the file holds nothing but line ends: the service's stand-in for a credential whose
// file is missing (systemd takes no empty value).
bool blank_credential(const std::filesystem::path& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > 2) return false;
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (file == nullptr) return false;
    char bytes[2] = {};
    const std::size_t count = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] != '\n' && bytes[i] != '\r') return false;
    }
    return true;
}

// $CREDENTIALS_DIRECTORY/name, or an empty path when the variable is not set.
std::filesystem::path credential_path(const char* name) {
    const char* credentials = std::getenv("CREDENTIALS_DIRECTORY");
    if (credentials == nullptr || *credentials == '\0') return {};
    return std::filesystem::path(credentials) / name;
}

}  // namespace

PasswordResult read_password_file(const std::string& path) {
    PasswordResult result;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        result.error = "cannot read the password file " + path + ": " + std::strerror(errno);
        return result;
    }
    std::string text(max_password_bytes + 2, '\0');
    const std::size_t count = std::fread(text.data(), 1, text.size(), file);
    const bool failed = std::ferror(file) != 0;
    const int error_number = errno;
    std::fclose(file);
    if (failed) {
        result.error = "cannot read the password file " + path + ": " + std::strerror(error_number);
        return result;
    }
    if (count > max_password_bytes + 1) {  // room for the password and its CR LF
        result.error = "the password file " + path + " is too long for a password";
        return result;
    }
    text.resize(count);
    PasswordResult read = password_from_text(std::move(text), "the password file " + path);
    if (read.error.empty() && readable_by_others(path))
        read.warning = "every user of this machine can read the password file " + path +
                       "; make it yours alone: chmod 600 " + path;
    return read;
}

PasswordResult find_mqtt_password(const std::string& mqtt_password_file) {
    if (!mqtt_password_file.empty()) return read_password_file(mqtt_password_file);
    const std::filesystem::path credential = credential_path("mqtt-password");
    std::error_code error;
    // The service's credential is blank when the broker wants no password.
    if (credential.empty() || !std::filesystem::exists(credential, error) ||
        blank_credential(credential))
        return {};
    PasswordResult result = read_password_file(credential.string());
    result.warning.clear();  // systemd makes the credential readable by the service alone
    return result;
}

PasswordResult find_password(const std::string& password_file) {
    if (!password_file.empty()) return read_password_file(password_file);
    if (const std::filesystem::path credential = credential_path("password"); !credential.empty()) {
        std::error_code error;
        if (std::filesystem::exists(credential, error)) {
            // The service's fallback when the file that its LoadCredential= names is missing.
            if (blank_credential(credential))
                return {"",
                        "no password: the systemd credential \"password\" is empty; "
                        "write the router's password to the file that the unit's "
                        "LoadCredential=password: names",
                        ""};
            PasswordResult result = read_password_file(credential.string());
            result.warning.clear();
            return result;
        }
    }
    if (input_is_terminal()) {
        if (std::optional<std::string> typed = read_hidden_line("Router password: "))
            return password_from_text(std::move(*typed), "the typed password");
        return {"", "no password was typed", ""};
    }
    return {"", "no password: give --password-file FILE (or the systemd credential \"password\")",
            ""};
}
