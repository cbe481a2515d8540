// A lowered limit on the size of files this process writes, so that writes to the logs fail as
// they do on a full disk; SIGXFSZ is ignored meanwhile, so the failure comes back as EFBIG.
#pragma once

#include <sys/resource.h>

#include <csignal>

// While it lives, no file grows past `bytes`: the write that would is cut short and fails.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) : previous_handler_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        if (active_) setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // False when the limit could not be lowered.
    bool active() const { return active_; }

  private:
    void (*previous_handler_)(int);
    rlimit saved_{};
    bool active_ = false;
};
