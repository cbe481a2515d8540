// The bins step: the bit table of the showbins reply, read by position, as one log line.
#include "stats/bins_log.h"

#include "app/settings.h"
#include "runtime/date.h"
#include "runtime/text.h"
#include "runtime/ui_calls.h"
#include "stats/pending_lines.h"
#include "stats/status_line.h"
#include "stats/status_reply.h"

namespace {

// The bit table: lines 6 to 63 of the reply, four cells of 20 characters each.
constexpr std::int32_t first_table_line = 6;
constexpr std::int32_t last_table_line = 63;
constexpr std::int32_t cells_per_line = 4;
constexpr std::int32_t cell_width = 20;
constexpr double tone_spacing_khz = 4.3125;

// The column names and the row of tone frequencies that a new log starts with.
std::string header_lines() {
    std::string header = "Date, Time";
    for (std::int32_t k = 0; k < bin_slots; ++k) header += concat(",Bin", to_decimal(k));
    header += ",TotalBits\r\nN/A, N/A";
    for (std::int32_t k = 0; k < bin_slots; ++k) {
        header += concat(",", to_decimal(truncate_to_int(k * tone_spacing_khz)), "Khz");
    }
    return header + ",N/A\r\n";
}

}  // namespace

std::string bit_count_text(std::string_view cell) {
    return nth_field(trim_left(replace_all(cell, "  ", " ")), 5, " ");
}

LogStep write_bins() {
    TextArray reply_lines;
    split_reply_lines(settings.received_text, reply_lines);
    const std::string date_stamp = format_date("%dd/%mm/%yy", current_date());
    const std::string time_stamp = format_date("%hh:%ii", current_date());

    const OpenedLog opened = open_log(settings.bins_log_name);
    if (opened.state == LogOpen::not_created) {
        message_box("KelvaStats", "Error: can't write bins logfile", 0);
        return LogStep::program_ends;
    }

    std::string line = concat(date_stamp, ",", time_stamp);
    std::int32_t total = 0;
    for (std::int32_t k = first_table_line; k <= last_table_line; ++k) {
        for (std::int32_t cell = 1; cell <= cells_per_line; ++cell) {
            const std::string bits =
                bit_count_text(mid(reply_lines[k], cell_width * (cell - 1) + 1, cell_width));
            total = wrapping_add(total, to_number(bits));
            line += concat(",", bits);
        }
    }
    line += concat(",", to_decimal(total), "\r\n");

    append_log_line(LogKind::bins, settings.bins_log_name, opened, header_lines(), std::move(line));
    refresh_collection_status();
    return LogStep::done;
}
