// A lowered limit on the size of files this process writes, so that writes to the logs fail as
// they do on a full disk; SIGXFSZ is ignored meanwhile, so the failure comes back as EFBIG.
#pragma once

#include <sys/resource.h>

// While it lives, no file grows past `bytes`: the write that would is cut short and fails.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // False when the limit could not be lowered.
    bool active() const { return active_; }

  private:
    rlimit saved_{};
    void (*previous_handler_)(int) = nullptr;
    bool active_ = false;
};
