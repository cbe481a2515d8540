// The bins step: the bits loaded on each of the 232 tone slots of the "adsl showbins" reply and
// their total, one line per collection in the bins log.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "stats/log_step.h"

inline constexpr std::int32_t bin_slots = 232;

// The bit count text of one 20-character cell of the bit table: its fifth field at single
// blanks once every pair of blanks became one and the leading blanks are gone. The text is a view
// into `collapsed`, which holds the cell with its blanks paired off; a caller that passes the same
// string for every cell lets the loop run without allocating.
std::string_view bit_count_text(std::string_view cell, std::string& collapsed);

// The data line for reply with the given stamps, CR LF included, built in memory.
std::string bins_data_line(std::string_view reply, std::string_view date_stamp,
                           std::string_view time_stamp);

// Each slot's bit count as the data line's total counts it (to_number of its bit count text), and
// that total, which wraps as the log's does.
struct BinBits {
    std::array<std::int32_t, bin_slots> bits{};
    std::int32_t total = 0;
};
BinBits bin_bits(std::string_view reply);

// Parses settings.received_text and appends one data line to settings.bins_log_name (first the
// header line and the frequency row when the log is missing or empty). A line that cannot be
// written stays pending (stats/pending_lines.h), and the status line then says so. When a new log
// cannot be created it shows the box and returns program_ends, having written nothing.
LogStep write_bins();
