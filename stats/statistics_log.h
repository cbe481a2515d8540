// The statistics step: one line of counter changes and reply values appended to the statistics
// log after each "show adsl" reply, the status line, and the alarm.
#pragma once

#include <string>
#include <string_view>

#include "stats/log_step.h"

// The lines of one status reply, built in memory.
struct StatisticsLines {
    std::string header;          // what a new log starts with, CR LF included
    std::string data;            // the data line, CR LF included
    std::string delta_crc_text;  // the CRC change as the line gives it
};

// Builds both lines for reply with the given stamps. Like the step, it updates the counter
// fields: each counter's previous value and its change.
StatisticsLines build_statistics_lines(std::string_view reply, std::string_view date_stamp,
                                       std::string_view time_stamp);

// Parses settings.received_text, appends the data line to settings.stats_log_name (first the
// header when the log is missing or empty), updates the counter fields, sets the status line and
// sounds the alarm when the CRC change exceeds settings.alarm_threshold. A line that cannot be
// written stays pending (stats/pending_lines.h). When a new log cannot be created it shows the
// box and returns program_ends, having changed nothing.
LogStep write_statistics();
