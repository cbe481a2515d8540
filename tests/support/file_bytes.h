// Whole files as bytes, for tests that compare logs byte for byte or prepare them.
#pragma once

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
