// Reads the line log (kelvaline.csv) into its aggregates.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "report/line_figures.h"
#include "report/log_lines.h"

inline constexpr std::string_view line_log_header_start = "Time,";

// The local minute of a line or tones log line, from its first field; -1 when unreadable.
WallMinute line_log_stamp(std::string_view line);

// What happened to the line between one collection and the next, for its counters.
enum class CounterStep {
    same_link,  // both in showtime, no counter fell (or both out of it)
    new_link,   // it came up, or a counter fell: it retrained, and the counters start again
    went_down,  // it left showtime: the router's figures then start from another point
};

// The growth of a running counter from one collection to the next: `before` and `now` are its
// values (before < 0: none yet). On the same link a fall counts from 0 (a counter that started
// again by itself); a new link counts its totals; a line that went down counts nothing.
std::int64_t counter_growth(std::int64_t before, std::int64_t now, CounterStep step);

LogRead read_line_log(const std::string& path, const ReportPeriod& period, LineLogFigures& figures,
                      std::atomic<std::int64_t>* bytes_read = nullptr);
