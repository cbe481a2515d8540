// The walk shared by both logs: the header checked, then each data line sorted into skipped
// (unfinished, too long, unreadable stamp), outside the period, or used.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "report/line_reader.h"
#include "report/log_fields.h"
#include "report/log_figures.h"
#include "report/wall_minutes.h"

enum class LogRead {
    missing,    // no such file (or it cannot be opened)
    not_a_log,  // its first line does not begin with "Date, Time,"
    read,
};

inline constexpr std::string_view log_header_start = "Date, Time,";

// The stamp of a data line, from its first two fields; -1 when unreadable.
inline WallMinute line_stamp(std::string_view line) {
    if (line.size() < 14 || line[8] != ',' || (line.size() > 14 && line[14] != ',')) return -1;
    return read_stamp(line.substr(0, 8), line.substr(9, 5));
}

// The data lines one reader takes: those that start at a file offset in [from, to). Two readers
// can share a log this way, each reading the header and passing over the other's lines.
struct LinePart {
    std::int64_t from = 0;
    std::int64_t to = INT64_MAX;
};

// Reads the log at `path`: `on_header` gets its first line, `on_extra_header` each following line
// until it returns false (the line is then a data line), `on_line` each data line of the part with
// a readable stamp inside the period, with its stamp.
template <class OnHeader, class OnExtraHeader, class OnLine>
LogRead walk_log(const std::string& path, const ReportPeriod& period, LogQuality& quality,
                 std::atomic<std::int64_t>* bytes_read, OnHeader on_header,
                 OnExtraHeader on_extra_header, OnLine on_line, LinePart part = {}) {
    LineReader reader(path, bytes_read);
    if (!reader.is_open()) return LogRead::missing;
    quality.present = true;
    std::string_view line;
    LineEnd end;
    if (!reader.next(line, end)) {
        quality.empty = true;
        return LogRead::read;
    }
    if (!line.starts_with(log_header_start)) return LogRead::not_a_log;
    on_header(line);
    bool in_header = true;
    std::int64_t line_number = 1;
    while (reader.next(line, end)) {
        ++line_number;
        if (in_header && end == LineEnd::line_feed && on_extra_header(line)) continue;
        in_header = false;
        if (reader.line_offset() < part.from) continue;
        if (reader.line_offset() >= part.to) break;
        ++quality.data_lines;
        if (end == LineEnd::none) {
            quality.unfinished_last_line = true;
            continue;
        }
        const WallMinute stamp = end == LineEnd::too_long ? -1 : line_stamp(line);
        if (stamp < 0) {
            if (quality.first_unreadable_line == 0) quality.first_unreadable_line = line_number;
            ++quality.unreadable_stamps;
            continue;
        }
        if (stamp < period.since || stamp > period.until) {
            ++quality.outside_period;
            continue;
        }
        on_line(line, stamp);
    }
    return LogRead::read;
}
