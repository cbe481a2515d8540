// FileSizeLimit with RLIMIT_FSIZE.
#include <sys/resource.h>

#include <csignal>

#include "tests/support/file_size_limit.h"

FileSizeLimit::FileSizeLimit(std::int64_t bytes)
    : previous_handler_(std::signal(SIGXFSZ, SIG_IGN)) {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0) return;
    saved_limit_ = limit.rlim_cur;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    if (active_ && getrlimit(RLIMIT_FSIZE, &limit) == 0) {
        limit.rlim_cur = static_cast<rlim_t>(saved_limit_);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::signal(SIGXFSZ, previous_handler_);
}

bool FileSizeLimit::available() {
    return true;
}
