// Reading the router's status reply: its lines, the value text of a line, the five error
// counters, and the column label and value that each line contributes to the statistics log.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text.h"

// The reply's lines as views into reply, valid while reply is unchanged, so a step copies no line.
using ReplyLineViews = std::vector<std::string_view>;

// Fills reply_lines from reply and returns N, the number of line feeds in it. Line k (1..N) is
// stored at index k; index 0 and every index past N are empty. Each line is the bytes after the
// previous line feed up to the line feed, less a CR just before the line feed: lines ended by
// CR LF and by a bare LF read the same. Text after the last line feed is not stored. The table
// holds at least 257 entries and always at least N + 2, so index N + 1 can be read.
std::int32_t split_reply_lines(std::string_view reply, ReplyLineViews& reply_lines);

// Reply lines that hold the error counters.
inline constexpr std::int32_t fec_line = 27;
inline constexpr std::int32_t crc_line = 28;
inline constexpr std::int32_t hec_line = 29;
inline constexpr std::int32_t ncd_line = 30;
inline constexpr std::int32_t ocd_line = 31;

// Fields 3 to 7 of the line split at tabs, joined with nothing between them and nothing trimmed.
std::string value_text(std::string_view line);

// The number at the start of the value text (to_number); 0 when it has none.
std::int32_t counter_value(std::string_view line);

// The text before the first "=", with "," appended, cut to 40 characters and then stripped of
// leading and trailing blanks. A label of 40 characters or more loses its comma.
std::string column_label(std::string_view line);

// The value text with every "dB" removed (case-sensitive, one pass).
std::string column_value(std::string_view line);

// For log lines built in one string: column_label and column_value appended to text. `value`
// holds the value text on the way; a caller that passes the same string for every line lets it
// keep its storage, so the loop does not allocate per line.
void append_column_label(std::string& text, std::string_view line);
void append_column_value(std::string& text, std::string_view line, std::string& value);
