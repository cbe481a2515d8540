// FileSizeLimit on Windows, which cannot limit the size of a process's files: never active.
#include "tests/support/file_size_limit.h"

FileSizeLimit::FileSizeLimit(std::int64_t) {}

FileSizeLimit::~FileSizeLimit() = default;

bool FileSizeLimit::available() {
    return false;
}
