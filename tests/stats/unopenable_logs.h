// While an object of this type lives, no log can be opened: on Linux every free descriptor is
// taken (the same for root, whom no permission bit stops); on Windows each log that exists is held
// open by "another program" that shares nothing, as a spreadsheet may.
#pragma once

#include <memory>

class UnopenableLogs {
  public:
    UnopenableLogs();
    ~UnopenableLogs();
    UnopenableLogs(const UnopenableLogs&) = delete;
    UnopenableLogs& operator=(const UnopenableLogs&) = delete;

    // True when opening a log now fails.
    bool active() const;

  private:
    struct Hold;  // what the platform holds to keep the logs closed
    std::unique_ptr<Hold> hold_;
};
