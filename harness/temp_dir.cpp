// A fresh directory that is removed with its content.
#include "harness/temp_dir.h"

#include <unistd.h>

#include <system_error>

TempDir::TempDir(std::string_view prefix) {
    std::error_code error;
    std::string pattern =
        (std::filesystem::temp_directory_path(error) / (std::string(prefix) + "XXXXXX")).string();
    if (!error && mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
    leave();
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

bool TempDir::enter() {
    if (path_.empty() || !previous_.empty()) return false;
    std::error_code error;
    std::filesystem::path previous = std::filesystem::current_path(error);
    if (error || chdir(path_.c_str()) != 0) return false;
    previous_ = std::move(previous);
    return true;
}

bool TempDir::leave() {
    if (previous_.empty()) return true;
    const bool left = chdir(previous_.c_str()) == 0;
    previous_.clear();
    return left;
}
