// The statistics step: counter changes since the previous collection, one log line per reply.
#include "stats/statistics_log.h"

#include <array>

#include "runtime/text.h"
#include "runtime/ui_calls.h"
#include "settings/settings.h"
#include "stats/alarm.h"
#include "stats/log_stamps.h"
#include "stats/pending_lines.h"
#include "stats/status_line.h"
#include "stats/status_reply.h"

namespace {

struct Counter {
    std::int32_t reply_line;
    Int32& previous;
    Int32& delta;
};

// Each column of a header or data line takes no more bytes than its line took in the reply, so
// the reply's size and this much for the fixed columns hold either line without regrowing.
constexpr std::size_t fixed_columns_bytes = 128;

std::string header_line(std::size_t reply_bytes, const ReplyLineViews& reply_lines,
                        std::int32_t line_count) {
    std::string header;
    header.reserve(reply_bytes + fixed_columns_bytes);
    header += "Date, Time,FCDeltaFEC,FCDeltaCRC,FCDeltaHEC,FCDeltaNCD,FCDeltaOCD,";
    for (std::int32_t k = 2; k <= line_count + 1; ++k) append_column_label(header, reply_lines[k]);
    header += "\r\n";
    return header;
}

}  // namespace

StatisticsLines build_statistics_lines(std::string_view reply, std::string_view date_stamp,
                                       std::string_view time_stamp) {
    ReplyLineViews reply_lines;
    const std::int32_t line_count = split_reply_lines(reply, reply_lines);
    const bool first = settings.first_collection == 1;
    const std::array<Counter, 5> counters{{
        {fec_line, settings.prev_fec, settings.delta_fec},
        {crc_line, settings.prev_crc, settings.delta_crc},
        {hec_line, settings.prev_hec, settings.delta_hec},
        {ncd_line, settings.prev_ncd, settings.delta_ncd},
        {ocd_line, settings.prev_ocd, settings.delta_ocd},
    }};
    StatisticsLines lines;
    std::string& line = lines.data;
    line.reserve(reply.size() + fixed_columns_bytes);
    line.append(date_stamp).append(",").append(time_stamp).append(",");
    for (const Counter& counter : counters) {
        const std::int32_t value = counter_value(reply_lines[counter.reply_line]);
        const std::int32_t delta = wrapping_sub(value, counter.previous);
        counter.delta = delta;
        counter.previous = value;
        // A counter that went down was reset by the router: its change is unknown, not negative.
        const std::string delta_text = first || delta < 0 ? "0" : to_decimal(delta);
        if (counter.reply_line == crc_line) lines.delta_crc_text = delta_text;
        line.append(delta_text).append(",");
    }
    std::string value;  // reused by every line
    for (std::int32_t k = 2; k <= line_count + 1; ++k) {
        append_column_value(line, reply_lines[k], value);
        line += ',';
    }
    line += "\r\n";
    lines.header = header_line(reply.size(), reply_lines, line_count);
    return lines;
}

LogStep write_statistics() {
    const LogStamps stamps = read_log_stamps();

    const OpenedLog opened = open_log(settings.stats_log_name);
    if (opened.state == LogOpen::not_created) {
        message_box("KelvaStats", "Error: can't write logfile", 0);
        return LogStep::program_ends;
    }

    StatisticsLines lines =
        build_statistics_lines(settings.received_text, stamps.date, stamps.time);
    append_log_line(LogKind::statistics, settings.stats_log_name, opened, lines.header,
                    std::move(lines.data));

    show_collection_status(stamps.time, lines.delta_crc_text);
    const std::int32_t threshold = settings.alarm_threshold;
    if (threshold > 0 && settings.delta_crc > threshold && settings.first_collection == 0)
        sound_alarm();
    settings.first_collection = 0;
    return LogStep::done;
}
