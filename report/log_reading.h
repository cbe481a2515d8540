// What reading the logs of a directory shares, whichever logs they are: the period the report
// covers, fixed from the first and last stamps of its logs before any log is read (so that every
// aggregate can be sized before the first line), and the progress while the readers run.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "report/log_figures.h"
#include "report/log_lines.h"

using StampReader = WallMinute (*)(std::string_view line);

// The period from the first to the last readable stamp of the logs at `paths` (missing ones are
// passed over), within `since` and `until` (days at 00:00; -1: open), with its buckets and heat
// columns.
ReportPeriod period_of(const std::vector<std::string>& paths, StampReader stamp_of,
                       WallMinute since, WallMinute until);

// Where a reader that splits a large log in two for two threads splits it: `split_at` when it is
// 0 or more (0: not at all), else the middle of a log of 64 MiB or more (0 for a smaller one).
std::int64_t split_offset(const std::string& path, std::int64_t split_at);

// The file's size in bytes; 0 when it cannot be read.
std::int64_t size_of(const std::string& path);

// Waits for the readers; meanwhile, when `progress` is given, calls it now and then with the
// percent of `total_bytes` that `bytes_read` has reached.
void follow_readers(std::initializer_list<std::future<LogRead>*> readers,
                    const std::atomic<std::int64_t>& bytes_read, std::int64_t total_bytes,
                    const std::function<void(int)>& progress);
