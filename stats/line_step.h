// The line step of the router families that fill a line record: one line appended to the line log
// "kelvaline.csv" and the bit loading (and, when read, the SNR) of every tone to the tones log
// "kelvatones.csv", then the console's status line and the alarm on the CRC change.
#pragma once

#include <string_view>

#include "stats/line_record.h"
#include "stats/log_step.h"

inline constexpr std::string_view line_log_name = "kelvaline.csv";
inline constexpr std::string_view tones_log_name = "kelvatones.csv";

// Appends the record to both logs in the working directory (each first gets its header line when
// it is missing or empty; a record without a bit table adds nothing to the tones log), sets
// settings.delta_crc to the change of the downstream CRC count since the previous record (0 on the
// first, for a count that fell, and when either is absent; a change past the field's range gives
// its largest value), sets the status line and sounds the alarm when that change exceeds
// settings.alarm_threshold. A line that cannot be written stays pending (stats/pending_lines.h).
// When a new log cannot be created it shows the box and returns program_ends. While
// settings.first_collection is 1 the step starts afresh as after reset_line_step, and it leaves
// the field 0. Runs on one thread at a time (the worker's).
LogStep write_line_logs(const LineRecord& record);

// Forgets the previous record's counts and the tones log's memory of what it wrote (tests, and a
// collector that starts collecting again).
void reset_line_step();
