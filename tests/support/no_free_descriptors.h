// No free file descriptor for the process while an object lives, so that opening a file, or
// making an eventfd, fails as it does when a long-running program has run out of them.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

// While it lives, no file can be opened: every free descriptor below a lowered limit is taken.
// Works the same for root, which no permission bit stops.
class NoFreeDescriptors {
  public:
    NoFreeDescriptors() {
        if (getrlimit(RLIMIT_NOFILE, &saved_) != 0) return;
        rlimit lowered = saved_;
        lowered.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, 256);
        if (setrlimit(RLIMIT_NOFILE, &lowered) != 0) return;
        limited_ = true;
        for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken_.push_back(fd);
    }
    ~NoFreeDescriptors() {
        for (const int fd : taken_) close(fd);
        if (limited_) setrlimit(RLIMIT_NOFILE, &saved_);
    }
    NoFreeDescriptors(const NoFreeDescriptors&) = delete;
    NoFreeDescriptors& operator=(const NoFreeDescriptors&) = delete;

    // True when opening a file now fails for want of a descriptor.
    bool active() const {
        if (!limited_) return false;
        const int fd = open(".", O_RDONLY | O_CLOEXEC);
        if (fd >= 0) close(fd);
        return fd < 0 && errno == EMFILE;
    }

  private:
    rlimit saved_{};
    bool limited_ = false;
    std::vector<int> taken_;
};
