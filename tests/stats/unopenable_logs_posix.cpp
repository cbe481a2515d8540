// UnopenableLogs on Linux: every free descriptor below a lowered limit is taken.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "unopenable_logs.h"

UnopenableLogs::UnopenableLogs() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    saved_limit_ = limit.rlim_cur;
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_cur, 256);
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    limited_ = true;
    for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken_.push_back(fd);
}

UnopenableLogs::~UnopenableLogs() {
    for (const std::intptr_t fd : taken_) close(static_cast<int>(fd));
    rlimit limit{};
    if (limited_ && getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = static_cast<rlim_t>(saved_limit_);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

bool UnopenableLogs::active() const {
    if (!limited_) return false;
    const int fd = open(".", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) close(fd);
    return fd < 0 && errno == EMFILE;
}
