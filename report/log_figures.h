// What reading the two logs leaves behind: fixed-size aggregates, whatever the logs' size, from
// which the key figures and the report are made.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "report/spacings.h"
#include "report/time_axis.h"

// The period the report covers and how it is sliced; stamps come from both logs.
struct ReportPeriod {
    WallMinute since = 0;           // --since at 00:00, or 0
    WallMinute until = 0x7fffffff;  // --until at 23:59, or the far future
    TimeSlices buckets;
    TimeSlices heat;
};

// How the lines of one log were read, for the data quality part.
struct LogQuality {
    bool present = false;                    // the file exists and was read
    bool empty = false;                      // 0 bytes
    std::int64_t data_lines = 0;             // lines after the header lines, including skipped ones
    std::int64_t unreadable_stamps = 0;      // and lines too long to be a log line
    std::int64_t first_unreadable_line = 0;  // its line number in the file, 0 when none
    bool unfinished_last_line = false;       // the last line had no line end: still being written
    std::int64_t outside_period = 0;         // left out by --since or --until
    std::int32_t header_columns = 0;
    std::int32_t usual_columns = 0;       // of the first data line
    std::int64_t other_column_count = 0;  // data lines with a column count unlike the first's
    std::int64_t not_numbers = 0;         // values that should be numbers and are not

    std::int64_t skipped() const { return unreadable_stamps + (unfinished_last_line ? 1 : 0); }
};

// Per time bucket: the values that fell into it.
struct BucketValues {
    double sum = 0;
    double lowest = 0;
    double highest = 0;
    std::int64_t count = 0;

    void add(double value) {
        if (count == 0 || value < lowest) lowest = value;
        if (count == 0 || value > highest) highest = value;
        sum += value;
        ++count;
    }
};

// One column of the status reply in the statistics log, read by its position in the line.
struct ReplyColumn {
    std::vector<BucketValues> buckets;
    std::int64_t numbers = 0;      // values that start with a number
    std::int64_t not_numbers = 0;  // values that are not empty and do not
};

inline constexpr int error_counters = 5;  // FEC, CRC, HEC, NCD, OCD, in the log's order
inline constexpr int fec = 0, crc = 1, hec = 2;
// Reply columns beyond this many are not charted (the program's router sends about 40).
inline constexpr std::size_t most_reply_columns = 96;

struct StatisticsFigures {
    LogQuality quality;
    Spacings spacings;
    std::array<std::int64_t, error_counters> error_totals{};
    std::vector<std::array<std::int64_t, error_counters>> error_buckets;
    std::vector<std::int64_t> collections_per_bucket;
    WallMinute worst_crc_hour = -1;  // the hour's first minute; -1 when no CRC error was logged
    std::int64_t worst_crc_errors = 0;
    std::vector<std::string> labels;   // the header's columns after the five changes
    std::vector<ReplyColumn> columns;  // the data lines' columns after the five changes
};

inline constexpr std::int32_t current_tone_count = 232;

struct BinsFigures {
    LogQuality quality;
    Spacings spacings;
    std::int32_t tones = 0;  // named by the header; fewer than 232 in an older layout
    std::vector<std::int32_t> frequencies_khz;          // per tone, from the log's frequency row
    std::vector<std::int32_t> lowest, highest, latest;  // bits per tone; -1 before any
    std::vector<std::int64_t> changes;    // collections that loaded the tone unlike the one before
    std::vector<std::int64_t> heat_sums;  // bits, heat column by heat column, tone by tone
    std::vector<std::int64_t> heat_counts;  // the same layout: how many values each sum holds
    std::vector<BucketValues> total_buckets;
    std::int64_t total_lines = 0;  // lines that gave a total
    std::int64_t lowest_total = 0, highest_total = 0, latest_total = 0;
    std::int64_t totals_from_tones = 0;  // older-layout lines whose total had to be summed
};
