// Whole files as bytes, for tests that compare logs byte for byte or prepare them.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

// The file's bytes; empty when it cannot be read.
inline std::string read_file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Replaces the file's content with `bytes`, creating it when missing.
inline void write_file_bytes(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A password file as the README says to make one: `bytes`, readable by its owner alone.
inline void write_secret_file(const std::string& path, std::string_view bytes) {
    write_file_bytes(path, bytes);
    std::filesystem::permissions(
        path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}
