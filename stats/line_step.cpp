// The line step: both logs of a line record, the console's status line and the CRC alarm.
#include "stats/line_step.h"

#include <cstdint>
#include <limits>

#include "runtime/date.h"
#include "runtime/text.h"
#include "runtime/ui_calls.h"
#include "settings/settings.h"
#include "stats/alarm.h"
#include "stats/line_log.h"
#include "stats/pending_lines.h"
#include "stats/status_line.h"
#include "stats/tones_log.h"

namespace {

// What the step keeps between collections. Only the worker thread runs the step.
struct LineStepMemory {
    bool has_previous = false;
    RunningCount previous_crc_down;
    TonesMemory tones;
};

LineStepMemory memory;

// The change of a running total: 0 when either count is absent and for a count that fell (the
// line retrained, or the router restarted), whose change is unknown.
std::uint64_t count_change(const RunningCount& previous, const RunningCount& now) {
    if (!previous || !now || *now < *previous) return 0;
    return *now - *previous;
}

// A direction pair as "down/up", "-" for a side the record lacks; "" when it lacks both.
template <typename Value, typename Text>
std::string pair_text(const PerDirection<Value>& figure, Text text) {
    const std::string down = text(figure.down);
    const std::string up = text(figure.up);
    if (down.empty() && up.empty()) return "";
    return concat(down.empty() ? "-" : down, "/", up.empty() ? "-" : up);
}

// "Collection: 17:08   Showtime   Rate 68094/19999 kbit/s   SNR margin 6.1/5.9 dB   DeltaCRC: 3",
// each part the record lacks left out.
std::string line_summary(std::string_view time, const LineRecord& record, std::uint64_t delta_crc) {
    std::string summary = concat("Collection: ", time);
    const auto add = [&summary](std::string_view part) {
        if (!part.empty()) summary.append("   ").append(part);
    };
    // The state word in one piece: no line end of the router's breaks the console's line.
    std::string state = record.state;
    for (char& c : state) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    add(state);
    const std::string rate = pair_text(
        record.rate, [](const RateKbits& r) { return r ? std::to_string(*r) : std::string(); });
    if (!rate.empty()) add(concat("Rate ", rate, " kbit/s"));
    const std::string margin =
        pair_text(record.snr_margin, [](const std::string& text) { return text; });
    if (!margin.empty()) add(concat("SNR margin ", margin, " dB"));
    if (record.crc.down) add(concat("DeltaCRC: ", std::to_string(delta_crc)));
    return summary;
}

}  // namespace

LogStep write_line_logs(const LineRecord& record) {
    // A collection that starts afresh (the collector's Run) compares with nothing before it.
    if (settings.first_collection == 1) memory = {};
    const WallClock now = current_wall_clock();
    const std::int64_t date = date_value(now);
    const std::string stamp = line_time_stamp(date, now.utc_offset_minutes);

    const OpenedLog line_opened = open_log(line_log_name);
    if (line_opened.state == LogOpen::not_created) {
        message_box("KelvaStats", "Error: can't write line logfile", 0);
        return LogStep::program_ends;
    }
    append_log_line(LogKind::line, line_log_name, line_opened, line_log_header(),
                    line_log_line(record, stamp));

    if (!record.bits.empty()) {
        const OpenedLog tones_opened = open_log(tones_log_name);
        if (tones_opened.state == LogOpen::not_created) {
            message_box("KelvaStats", "Error: can't write tones logfile", 0);
            return LogStep::program_ends;
        }
        const bool created = tones_opened.state == LogOpen::created;
        const TonesLogOpening opening{created, created && pending_line_count(LogKind::tones) == 0};
        std::string lines = tones_log_lines(record, stamp, clock_hour(date, now.utc_offset_minutes),
                                            opening, memory.tones);
        append_log_line(LogKind::tones, tones_log_name, tones_opened,
                        tones_log_header(record.bits.size()), std::move(lines));
    }

    const std::uint64_t delta_crc =
        memory.has_previous ? count_change(memory.previous_crc_down, record.crc.down) : 0;
    memory.has_previous = true;
    memory.previous_crc_down = record.crc.down;
    constexpr auto delta_limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    settings.delta_crc =
        static_cast<std::int32_t>(delta_crc < delta_limit ? delta_crc : delta_limit);

    show_collection_summary(line_summary(format_date("%hh:%ii", date), record, delta_crc));
    const std::int32_t threshold = settings.alarm_threshold;
    if (threshold > 0 && delta_crc > static_cast<std::uint64_t>(threshold)) sound_alarm();
    settings.first_collection = 0;
    return LogStep::done;
}

void reset_line_step() {
    memory = {};
}
