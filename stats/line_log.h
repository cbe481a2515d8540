// The line log "kelvaline.csv": one line per collection with the figures of the line record, in
// columns that any family fills the same way, stamped with the local time and its UTC offset.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "stats/line_record.h"

// The stamp that begins every line of the line and tones logs: the local time with its offset,
// "2026-12-09T21:04:05+01:00", so that the hour repeated when the clocks go back is told apart.
std::string line_time_stamp(std::int64_t date, int utc_offset_minutes);

// The header line a new line log starts with, CR LF included.
const std::string& line_log_header();

// The data line of record, CR LF included: time_stamp, the record's figures (rates in kbit/s, dB
// texts as the record holds them, counters as the router's running totals), then the tone count
// and the total of the bits; an empty field for every value the record lacks.
std::string line_log_line(const LineRecord& record, std::string_view time_stamp);

// A router's text as one CSV field: control characters (line ends among them) become blanks, so
// a collection stays one line of the log; a text that then holds a comma or a double quote is
// quoted as RFC 4180 quotes it (in double quotes, each double quote doubled), which spreadsheets
// and pandas read back as the router's own text.
std::string csv_text_field(std::string_view text);
