// While an object of this type lives, neither log can be opened: on Linux every free descriptor is
// taken (the same for root, whom no permission bit stops); on Windows each log that exists is held
// open by "another program" that shares nothing, as a spreadsheet may.
#pragma once

#include <cstdint>
#include <vector>

class UnopenableLogs {
  public:
    UnopenableLogs();
    ~UnopenableLogs();
    UnopenableLogs(const UnopenableLogs&) = delete;
    UnopenableLogs& operator=(const UnopenableLogs&) = delete;

    // True when opening a log now fails.
    bool active() const;

  private:
    std::vector<std::intptr_t> taken_;  // descriptors or handles
    std::uint64_t saved_limit_ = 0;
    bool limited_ = false;
};
