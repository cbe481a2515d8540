// 64-bit file positions with fseeko (off_t is 64 bits on every target we build for).
#include <sys/types.h>

#include <cstdio>

#include "report/file_offset.h"

bool seek_file(std::FILE* file, std::int64_t offset) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}
