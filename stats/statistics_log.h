// The statistics step: one line of counter changes and reply values appended to the statistics
// log after each "show adsl" reply, the status line, and the alarm.
#pragma once

#include "stats/log_step.h"

// Parses settings.received_text, appends the data line to settings.stats_log_name (first the
// header when the log is missing or empty), updates the counter fields, sets the status line and
// sounds the alarm when the CRC change exceeds settings.alarm_threshold. A line that cannot be
// written stays pending (stats/pending_lines.h). When a new log cannot be created it shows the
// box and returns program_ends, having changed nothing.
LogStep write_statistics();
