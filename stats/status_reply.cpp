// Reading the router's status reply by line position and tab-separated fields.
#include "stats/status_reply.h"

#include <algorithm>

namespace {

// The table sizes that every caller may rely on: replies of up to 255 line feeds fit the classic
// 257 entries, longer ones get a table of N + 2.
constexpr std::size_t min_reply_table_entries = 257;

}  // namespace

std::int32_t split_reply_lines(std::string_view reply, TextArray& reply_lines) {
    reply = reply.substr(0, reply.find('\0'));
    const auto line_feeds = static_cast<std::size_t>(std::count(reply.begin(), reply.end(), '\n'));
    reply_lines.assign(std::max(min_reply_table_entries, line_feeds + 2), std::string());

    std::size_t line_start = 0;
    std::size_t next_index = 1;
    for (auto feed = reply.find('\n'); feed != std::string_view::npos;
         feed = reply.find('\n', line_start)) {
        // The byte before the line feed is dropped unseen: it is the CR of a CR LF pair.
        if (feed >= line_start + 2) {
            reply_lines[next_index].assign(reply.substr(line_start, feed - 1 - line_start));
        }
        ++next_index;
        line_start = feed + 1;
    }
    return static_cast<std::int32_t>(line_feeds);
}

std::string value_text(std::string_view line) {
    return concat(nth_field(line, 3, "\t"), nth_field(line, 4, "\t"), nth_field(line, 5, "\t"),
                  nth_field(line, 6, "\t"), nth_field(line, 7, "\t"));
}

std::int32_t counter_value(std::string_view line) {
    return to_number(value_text(line));
}

std::string column_label(std::string_view line) {
    return trim_right(trim_left(mid(concat(nth_field(line, 1, "="), ","), 1, 40)));
}

std::string column_value(std::string_view line) {
    return replace_all(value_text(line), "dB", "");
}
