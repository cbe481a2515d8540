// Whole files as bytes, for tests that compare logs byte for byte or prepare them.
#pragma once

#include <string>
#include <string_view>

// The file's bytes; empty when it cannot be read.
std::string read_file_bytes(const std::string& path);
// Replaces the file's content with `bytes`, creating it when missing.
void write_file_bytes(const std::string& path, std::string_view bytes);
