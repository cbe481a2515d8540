// The bins step: the bit table of the showbins reply, read by position, as one log line.
#include "stats/bins_log.h"

#include "runtime/text.h"
#include "runtime/ui_calls.h"
#include "settings/settings.h"
#include "stats/log_stamps.h"
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

// A data line: the stamps, then "," and at most a cell's width of bit count text per slot, then
// the total and CR LF.
constexpr std::size_t data_line_bytes = (1 + cell_width) * bin_slots + 64;

// The column names and the row of tone frequencies that a new log starts with. They never change,
// so they are built once.
const std::string& header_lines() {
    static const std::string header = [] {
        std::string lines = "Date, Time";
        for (std::int32_t k = 0; k < bin_slots; ++k) lines += concat(",Bin", to_decimal(k));
        lines += ",TotalBits\r\nN/A, N/A";
        for (std::int32_t k = 0; k < bin_slots; ++k) {
            lines += concat(",", to_decimal(truncate_to_int(k * tone_spacing_khz)), "Khz");
        }
        return lines + ",N/A\r\n";
    }();
    return header;
}

// Calls visit(slot, bit count text) for the 232 slots in order; the text is valid during the call.
template <typename Visit>
void for_each_bit_count_text(std::string_view reply, Visit&& visit) {
    ReplyLineViews reply_lines;
    split_reply_lines(reply, reply_lines);
    std::string collapsed;  // reused by every cell
    std::int32_t slot = 0;
    for (std::int32_t k = first_table_line; k <= last_table_line; ++k) {
        for (std::int32_t cell = 1; cell <= cells_per_line; ++cell, ++slot) {
            const std::string_view cell_text =
                mid_view(reply_lines[k], cell_width * (cell - 1) + 1, cell_width);
            // A short reply: most slots have no cell at all.
            visit(slot,
                  cell_text.empty() ? std::string_view() : bit_count_text(cell_text, collapsed));
        }
    }
}

}  // namespace

std::string_view bit_count_text(std::string_view cell, std::string& collapsed) {
    collapsed.clear();
    append_replace_all(collapsed, cell, "  ", " ");
    return nth_field_view(trim_left_view(collapsed), 5, " ");
}

std::string bins_data_line(std::string_view reply, std::string_view date_stamp,
                           std::string_view time_stamp) {
    std::string line;
    line.reserve(data_line_bytes);
    line.append(date_stamp).append(",").append(time_stamp);
    std::int32_t total = 0;
    for_each_bit_count_text(reply, [&](std::int32_t, std::string_view bits) {
        total = wrapping_add(total, to_number(bits));
        line.append(",").append(bits);
    });
    line.append(",").append(to_decimal(total)).append("\r\n");
    return line;
}

BinBits bin_bits(std::string_view reply) {
    BinBits bins;
    for_each_bit_count_text(reply, [&bins](std::int32_t slot, std::string_view bits) {
        bins.bits[static_cast<std::size_t>(slot)] = to_number(bits);
        bins.total = wrapping_add(bins.total, bins.bits[static_cast<std::size_t>(slot)]);
    });
    return bins;
}

LogStep write_bins() {
    const LogStamps stamps = read_log_stamps();

    const OpenedLog opened = open_log(settings.bins_log_name);
    if (opened.state == LogOpen::not_created) {
        message_box("KelvaStats", "Error: can't write bins logfile", 0);
        return LogStep::program_ends;
    }

    append_log_line(LogKind::bins, settings.bins_log_name, opened, header_lines(),
                    bins_data_line(settings.received_text, stamps.date, stamps.time));
    refresh_collection_status();
    return LogStep::done;
}
