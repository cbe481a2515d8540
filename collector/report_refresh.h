// --report: the report of the collector's own logs, made again after the first collection and
// then every --report-every minutes by the kelvastats-report program beside the collector's own,
// run apart from the cycle at a low priority, so that its work never delays a collection. The
// report program writes a temporary file and renames it, so a reader never sees half a page.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "runtime/child_process.h"

// A report that takes longer than this is ended (a year of logs takes about a second).
inline constexpr std::uint32_t report_limit_ms = 10 * 60 * 1000;

using ReportSay = void (*)(std::string_view line);

class ReportRefresh {
  public:
    // report_program: the path of kelvastats-report; directory: the logs' folder; output: FILE.
    // every_minutes below 1 counts as 1. say_error: a report that failed (once, until one is
    // made again, which is said too), called from the refresh's thread.
    ReportRefresh(std::string report_program, std::string directory, std::string output,
                  std::int32_t every_minutes, ReportSay say_error);
    ~ReportRefresh();  // ends as stop() does
    ReportRefresh(const ReportRefresh&) = delete;
    ReportRefresh& operator=(const ReportRefresh&) = delete;

    // A collection was written: makes the first report at once, later ones when they are due.
    // Never waits. Any thread.
    void collected();

    // Ends a running report program; returns once its thread has ended.
    void stop();

  private:
    void thread_main();

    std::string program_, directory_, output_;
    std::chrono::minutes every_;
    ReportSay say_error_;
    ChildRun child_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool due_ = false;  // a collection was written since the last report began
    bool stopping_ = false;
    std::thread thread_;
};

// The path of kelvastats-report beside the program `own_program` ("kelvastats-report.exe" on
// Windows, where own_program ends in ".exe").
std::string report_program_beside(std::string_view own_program);
