// Reading the router's status reply by line position and tab-separated fields.
#include "stats/status_reply.h"

#include <algorithm>

namespace {

// The table sizes that every caller may rely on: replies of up to 255 line feeds fit the classic
// 257 entries, longer ones get a table of N + 2.
constexpr std::size_t min_reply_table_entries = 257;

// A column label is cut to this many characters, its comma included.
constexpr std::size_t column_label_width = 40;

// value_text into value, replacing what it held. The fields nth_field would give for 3 to 7,
// found in one walk along the line instead of one walk per field.
void assign_value_text(std::string& value, std::string_view line) {
    value.clear();
    line = line.substr(0, line.find('\0'));
    std::size_t field_start = 0;
    for (std::int32_t field = 1; field <= 7 && field_start <= line.size(); ++field) {
        const std::size_t tab = std::min(line.find('\t', field_start), line.size());
        if (field >= 3) value.append(line.substr(field_start, tab - field_start));
        field_start = tab + 1;
    }
}

}  // namespace

std::int32_t split_reply_lines(std::string_view reply, ReplyLineViews& reply_lines) {
    reply = reply.substr(0, reply.find('\0'));
    const auto line_feeds = static_cast<std::size_t>(std::count(reply.begin(), reply.end(), '\n'));
    reply_lines.assign(std::max(min_reply_table_entries, line_feeds + 2), std::string_view());

    std::size_t line_start = 0;
    std::size_t next_index = 1;
    for (auto feed = reply.find('\n'); feed != std::string_view::npos;
         feed = reply.find('\n', line_start)) {
        // Only a CR is dropped: a router whose lines end in a bare LF keeps every character.
        const std::size_t end = feed > line_start && reply[feed - 1] == '\r' ? feed - 1 : feed;
        reply_lines[next_index] = reply.substr(line_start, end - line_start);
        ++next_index;
        line_start = feed + 1;
    }
    return static_cast<std::int32_t>(line_feeds);
}

std::string value_text(std::string_view line) {
    std::string value;
    assign_value_text(value, line);
    return value;
}

std::int32_t counter_value(std::string_view line) {
    return to_number(value_text(line));
}

std::string column_label(std::string_view line) {
    std::string label;
    append_column_label(label, line);
    return label;
}

std::string column_value(std::string_view line) {
    std::string column;
    std::string value;
    append_column_value(column, line, value);
    return column;
}

void append_column_label(std::string& text, std::string_view line) {
    // The label is trim_right(trim_left(mid(concat(field, ","), 1, 40))), built without the
    // intermediate texts: the comma survives the cut only when the field is shorter than 40, and
    // where it survives it is the last character, so trim_right has nothing to take.
    const std::string_view field = nth_field_view(line, 1, "=");
    if (field.size() < column_label_width) {
        text.append(trim_left_view(field));
        text.push_back(',');
    } else {
        text.append(trim_right_view(trim_left_view(field.substr(0, column_label_width))));
    }
}

void append_column_value(std::string& text, std::string_view line, std::string& value) {
    // Joined first, then searched: a "dB" split by a tab between two fields is removed too.
    assign_value_text(value, line);
    append_replace_all(text, value, "dB", "");
}
