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

// Where a log's data lines begin.
struct LogHead {
    std::int64_t data_offset = 0;  // of the first data line; the file's size when there is none
    std::int64_t lines = 0;        // the header lines before it
};

// Reads the head of the log, whose first line begins with `header_start`: `on_header` gets it,
// `on_extra_header` each following line until it returns false. The reader is then at the first
// data line.
template <class OnHeader, class OnExtraHeader>
LogRead walk_head(LineReader& reader, LogQuality& quality, OnHeader on_header,
                  OnExtraHeader on_extra_header, LogHead& head,
                  std::string_view header_start = log_header_start) {
    if (!reader.is_open()) return LogRead::missing;
    quality.present = true;
    std::string_view line;
    LineEnd end;
    if (!reader.next(line, end)) {
        quality.empty = true;
        return LogRead::read;
    }
    if (!line.starts_with(header_start)) return LogRead::not_a_log;
    on_header(line);
    head.lines = 1;
    while (reader.next(line, end)) {
        if (end == LineEnd::line_feed && on_extra_header(line)) {
            ++head.lines;
            continue;
        }
        head.data_offset = reader.line_offset();
        reader.start_at_line(head.data_offset);  // to be read again as the first data line
        return LogRead::read;
    }
    head.data_offset = reader.offset();
    return LogRead::read;
}

// What a stamp function gives for a line that is not a collection and that the function took
// itself (a header line repeated inside the log).
inline constexpr WallMinute not_a_collection = -2;

// Reads data lines from the reader's place up to the first that starts at or after `to`:
// `on_line` gets each with a readable stamp inside the period, with its stamp. `stamp_of` reads
// a line's stamp (-1 when unreadable). Lines are numbered on from `lines_before`; gives the
// number of the last line read.
template <class OnLine, class StampOf = WallMinute (*)(std::string_view)>
std::int64_t walk_lines(LineReader& reader, const ReportPeriod& period, LogQuality& quality,
                        OnLine on_line, std::int64_t lines_before, std::int64_t to = INT64_MAX,
                        StampOf stamp_of = line_stamp) {
    std::string_view line;
    LineEnd end;
    std::int64_t line_number = lines_before;
    while (reader.next(line, end)) {
        if (reader.line_offset() >= to) break;
        ++line_number;
        if (end == LineEnd::none) {
            ++quality.data_lines;
            quality.unfinished_last_line = true;
            continue;
        }
        const WallMinute stamp = end == LineEnd::too_long ? -1 : stamp_of(line);
        if (stamp == not_a_collection) continue;
        ++quality.data_lines;
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
    return line_number;
}

// The quality figures of a log's later part, read apart, added to those of the part before it,
// whose last line was line `earlier_lines`.
inline void join_quality(LogQuality& earlier, const LogQuality& later, std::int64_t earlier_lines) {
    earlier.data_lines += later.data_lines;
    earlier.unreadable_stamps += later.unreadable_stamps;
    if (earlier.first_unreadable_line == 0 && later.first_unreadable_line > 0)
        earlier.first_unreadable_line = earlier_lines + later.first_unreadable_line;
    earlier.unfinished_last_line = earlier.unfinished_last_line || later.unfinished_last_line;
    earlier.outside_period += later.outside_period;
    earlier.not_numbers += later.not_numbers;
    earlier.other_column_count += later.other_column_count;
}

// The whole log at `path`: walk_head, then walk_lines to its end.
template <class OnHeader, class OnExtraHeader, class OnLine>
LogRead walk_log(const std::string& path, const ReportPeriod& period, LogQuality& quality,
                 std::atomic<std::int64_t>* bytes_read, OnHeader on_header,
                 OnExtraHeader on_extra_header, OnLine on_line) {
    LineReader reader(path, bytes_read);
    LogHead head;
    const LogRead result = walk_head(reader, quality, on_header, on_extra_header, head);
    if (result == LogRead::read) walk_lines(reader, period, quality, on_line, head.lines);
    return result;
}
