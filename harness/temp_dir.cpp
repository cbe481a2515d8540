// A fresh directory that is removed with its content.
#include "harness/temp_dir.h"

#include <random>
#include <system_error>

namespace {

constexpr int name_attempts = 100;

// Six random letters and digits, as mkdtemp puts in place of XXXXXX.
std::string random_suffix(std::mt19937_64& generator) {
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    std::string suffix(6, 'x');
    for (char& c : suffix) c = letters[pick(generator)];
    return suffix;
}

}  // namespace

TempDir::TempDir(std::string_view prefix) {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) return;
    std::mt19937_64 generator{std::random_device{}()};
    for (int attempt = 0; attempt < name_attempts; ++attempt) {
        const std::filesystem::path candidate =
            base / (std::string(prefix) + random_suffix(generator));
        // create_directory is false, without an error, when the name is taken: try another.
        if (std::filesystem::create_directory(candidate, error)) {
            path_ = candidate.string();
            return;
        }
        if (error) return;
    }
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
    if (error) return false;
    std::filesystem::current_path(path_, error);
    if (error) return false;
    previous_ = std::move(previous);
    return true;
}

bool TempDir::leave() {
    if (previous_.empty()) return true;
    std::error_code error;
    std::filesystem::current_path(previous_, error);
    previous_.clear();
    return !error;
}
