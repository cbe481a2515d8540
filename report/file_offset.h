// Moving a C file's read position with 64-bit offsets, which std::fseek's long cannot hold on
// Windows.
#pragma once

#include <cstdint>
#include <cstdio>

// False when the position cannot be set.
bool seek_file(std::FILE* file, std::int64_t offset);
