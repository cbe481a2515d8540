// Ways to make both logs unwritable for a while, as the user's system can: one twin per platform.
// Each is active only where the platform can make the logs so; a test skips when it is not. (A
// limit on the size of files is tests/support/file_size_limit.h.)
#pragma once

#include <cstdint>

// Neither log can be opened for writing: read-only (or, for root on Linux, immutable).
class ReadOnlyLogs {
  public:
    ReadOnlyLogs();
    ~ReadOnlyLogs();
    ReadOnlyLogs(const ReadOnlyLogs&) = delete;
    ReadOnlyLogs& operator=(const ReadOnlyLogs&) = delete;
    bool active() const;
};

// Both logs are held open by "another program" that lets others read them but not write, as a
// spreadsheet does on Windows (the test still reads them). POSIX has no such refusal: there it is
// never active.
class LogsHeldForReading {
  public:
    LogsHeldForReading();
    ~LogsHeldForReading();
    LogsHeldForReading(const LogsHeldForReading&) = delete;
    LogsHeldForReading& operator=(const LogsHeldForReading&) = delete;
    bool active() const;

  private:
    std::intptr_t handles_[2] = {-1, -1};
};
