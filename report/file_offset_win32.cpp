// 64-bit file positions with the C runtime's _fseeki64.
#include <cstdio>

#include "report/file_offset.h"

bool seek_file(std::FILE* file, std::int64_t offset) {
    return _fseeki64(file, offset, SEEK_SET) == 0;
}
