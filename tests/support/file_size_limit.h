// A lowered limit on the size of files this process writes, so that writes to the logs fail as
// they do on a full disk. POSIX has it (SIGXFSZ is ignored meanwhile, so the failure comes back
// as EFBIG); Windows has no such limit, and there it is never active.
#pragma once

#include <cstdint>

// While it lives, no file grows past `bytes`: the write that would is cut short and fails.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(std::int64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // Whether this system can limit the size of a process's files at all.
    static bool available();

    // False when the limit could not be lowered.
    bool active() const { return active_; }

  private:
    void (*previous_handler_)(int) = nullptr;
    std::uint64_t saved_limit_ = 0;
    bool active_ = false;
};
