// The latest figures and the events of each cycle, worked out from the metrics' figures.
#include "collector/line_news.h"

#include <charconv>
#include <cmath>
#include <numeric>

#include "runtime/text.h"
#include "settings/settings.h"

namespace {

// The log files in the order of log_kinds.
constexpr std::array<std::string_view, 4> log_file_names = {"kelvastats.csv", "kelvabins.csv",
                                                            "kelvaline.csv", "kelvatones.csv"};
constexpr std::array<std::string_view, 5> classic_counter_names = {"FEC", "CRC", "HEC", "NCD",
                                                                   "OCD"};
// Cycles in a row without a connection before the router counts as unreachable: one or two are
// a router that reboots or a busy moment, not news.
constexpr int unreachable_cycles = 3;

std::optional<double> rate_value(const RateKbits& rate) {
    if (!rate) return std::nullopt;
    return static_cast<double>(*rate);
}

std::optional<double> decibel_value(const std::string& text) {
    if (text.empty()) return std::nullopt;
    double value = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A running total's growth since the previous collection: its rise, or after a fall (the line
// retrained) the new link's whole total. None without both readings.
std::optional<std::int64_t> growth(const RunningCount& now, const RunningCount& before) {
    if (!now || !before) return std::nullopt;
    const std::uint64_t grown = *now >= *before ? *now - *before : *now;
    return static_cast<std::int64_t>(grown);
}

bool fell(const RunningCount& now, const RunningCount& before) {
    return now && before && *now < *before;
}

// The first running total of the record that fell, said for a person; "" when none fell.
std::string fallen_counter(const LineRecord& now, const LineRecord& before) {
    const struct {
        const char* name;
        const PerDirection<RunningCount> LineRecord::*counts;
    } counters[] = {{"CRC", &LineRecord::crc}, {"FEC", &LineRecord::fec},
                    {"HEC", &LineRecord::hec}, {"ES", &LineRecord::es},
                    {"SES", &LineRecord::ses}, {"UAS", &LineRecord::uas}};
    for (const auto& counter : counters) {
        const auto& a = now.*counter.counts;
        const auto& b = before.*counter.counts;
        if (fell(a.down, b.down))
            return concat(counter.name, " down fell from ", std::to_string(*b.down), " to ",
                          std::to_string(*a.down));
        if (fell(a.up, b.up))
            return concat(counter.name, " up fell from ", std::to_string(*b.up), " to ",
                          std::to_string(*a.up));
    }
    return "";
}

std::string rate_text(const LineSnapshot& snapshot) {
    if (!snapshot.rate_kbits.down || !snapshot.rate_kbits.up) return "";
    return concat(std::to_string(static_cast<std::int64_t>(*snapshot.rate_kbits.down)), "/",
                  std::to_string(static_cast<std::int64_t>(*snapshot.rate_kbits.up)), " kbit/s");
}

std::string number_text(double value) {
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, written.ptr);
}

}  // namespace

std::string_view event_name(LineEvent event) {
    switch (event) {
        case LineEvent::alarm:
            return "alarm";
        case LineEvent::line_down:
            return "line-down";
        case LineEvent::line_up:
            return "line-up";
        case LineEvent::retrain:
            return "retrain";
        case LineEvent::unreachable:
            return "unreachable";
        case LineEvent::reachable:
            return "reachable";
        case LineEvent::log_unwritable:
            return "log-unwritable";
        case LineEvent::log_written:
            return "log-written";
    }
    return "";
}

std::string iso_local_time(const WallClock& clock) {
    return format_date("%yyyy-%mm-%ddT%hh:%ii:%ss", date_value(clock)) +
           format_utc_offset(clock.utc_offset_minutes);
}

LineNews::LineNews(std::string family, std::string address) {
    snapshot_.family = std::move(family);
    snapshot_.address = std::move(address);
}

std::vector<LineNotice> LineNews::take_cycle(const LineFigures& figures, const CycleReport& report,
                                             std::int64_t now_unix, const WallClock& now,
                                             bool alarm_raised) {
    std::vector<LineNotice> notices;
    const std::string time = iso_local_time(now);
    const auto tell = [&](LineEvent event, std::string detail) {
        notices.push_back({event, time, std::move(detail)});
    };
    LineSnapshot& s = snapshot_;
    s.cycle_unix = now_unix;
    s.collected = report.collected;
    s.reason = std::string(report.reason);

    // The router: silent three cycles in a row is news, once; any answer after that is too.
    if (report.reason == "unreachable") {
        if (++cycles_without_connection_ == unreachable_cycles) {
            told_unreachable_ = true;
            tell(LineEvent::unreachable,
                 concat("the router at ", s.address, " cannot be reached (",
                        std::to_string(unreachable_cycles), " cycles in a row)"));
        }
    } else {
        cycles_without_connection_ = 0;
        if (told_unreachable_) {
            told_unreachable_ = false;
            tell(LineEvent::reachable, concat("the router at ", s.address, " answers again"));
        }
    }

    if (report.collected) {
        s.last_collection_unix = now_unix;
        s.last_collection_time = time;
        const std::optional<bool> was_showtime = s.showtime;
        if (report.line_record != nullptr) {
            const LineRecord& line = *report.line_record;
            s.state = line.state;
            s.showtime = line.state.empty() ? std::nullopt : std::optional(line_in_showtime(line));
            s.mode = line.mode;
            s.profile = line.profile;
            s.rate_kbits = {rate_value(line.rate.down), rate_value(line.rate.up)};
            s.attainable_kbits = {rate_value(line.attainable.down), rate_value(line.attainable.up)};
            s.snr_margin_db = {decibel_value(line.snr_margin.down),
                               decibel_value(line.snr_margin.up)};
            s.attenuation_db = {decibel_value(line.attenuation.down),
                                decibel_value(line.attenuation.up)};
            const LineRecord none;
            const LineRecord& before = have_previous_ ? previous_ : none;
            s.crc = {growth(line.crc.down, before.crc.down), growth(line.crc.up, before.crc.up)};
            s.fec = {growth(line.fec.down, before.fec.down), growth(line.fec.up, before.fec.up)};
            s.es = {growth(line.es.down, before.es.down), growth(line.es.up, before.es.up)};
            s.ses = {growth(line.ses.down, before.ses.down), growth(line.ses.up, before.ses.up)};
            if (figures.tone_bits.empty()) {
                s.total_bits.reset();
            } else {
                s.total_bits = std::accumulate(figures.tone_bits.begin(), figures.tone_bits.end(),
                                               std::int64_t{0});
            }
            // A fall between two collections in showtime is a retrain; a line that left showtime
            // is told as line-down, its counters falling with it.
            const bool both_up = s.showtime.value_or(true) && was_showtime.value_or(true);
            if (have_previous_ && both_up) {
                if (std::string why = fallen_counter(line, previous_); !why.empty())
                    tell(LineEvent::retrain, concat("the line retrained: ", why));
            }
            previous_ = line;
            previous_.bits.clear();
            previous_.snr.clear();
            have_previous_ = true;
        } else if (figures.has_status) {
            // The classic family: five counters, the total bits and the reply's numbers.
            std::array<std::int64_t, 5> changes{};
            std::string fallen;
            for (std::size_t i = 0; i < changes.size(); ++i) {
                const std::uint32_t value = figures.error_counters[i];
                const std::uint32_t before = previous_classic_[i];
                changes[i] = value >= before ? value - before : value;
                if (have_previous_ && value < before && fallen.empty())
                    fallen = concat(classic_counter_names[i], " fell from ", std::to_string(before),
                                    " to ", std::to_string(value));
            }
            if (have_previous_) {
                s.classic_changes = changes;
                s.fec.down = changes[0];
                s.crc.down = changes[1];
                if (!fallen.empty())
                    tell(LineEvent::retrain, concat("the line retrained: ", fallen));
            }
            s.status_values = figures.status_values;
            if (figures.has_bins) s.total_bits = figures.bins.total;
            previous_classic_ = figures.error_counters;
            have_previous_ = true;
        }
        if (was_showtime && s.showtime && *was_showtime != *s.showtime) {
            if (*s.showtime) {
                const std::string rates = rate_text(s);
                tell(LineEvent::line_up, rates.empty()
                                             ? "the line is in showtime again"
                                             : concat("the line is in showtime again at ", rates));
            } else {
                tell(LineEvent::line_down,
                     concat("the line left showtime: the router says \"", s.state, "\""));
            }
        }
    }

    if (alarm_raised) {
        // In the console's words: the change the alarm compared, and its threshold.
        tell(LineEvent::alarm,
             concat("DeltaCRC ", to_decimal(settings.delta_crc.load()),
                    " is over the threshold of ", to_decimal(settings.alarm_threshold.load())));
    }

    // The logs: news when a line starts waiting, and when none waits any more.
    std::string waiting;
    for (std::size_t i = 0; i < log_kinds.size(); ++i) {
        const std::int32_t count = figures.pending_lines[i];
        if (count == 0) continue;
        if (!waiting.empty()) waiting += ", ";
        waiting += concat(log_file_names[i], " (", std::to_string(count),
                          count == 1 ? " line waits)" : " lines wait)");
    }
    if (!waiting.empty() && !told_unwritable_) {
        told_unwritable_ = true;
        tell(LineEvent::log_unwritable, concat("a log cannot be written: ", waiting));
    } else if (waiting.empty() && told_unwritable_) {
        told_unwritable_ = false;
        tell(LineEvent::log_written, "every waiting log line is written");
    }
    return notices;
}

std::vector<std::string> event_environment(const LineNotice& notice, const LineSnapshot& s) {
    std::vector<std::string> environment = {
        concat("KELVASTATS_EVENT=", event_name(notice.event)),
        concat("KELVASTATS_TIME=", notice.time),
        concat("KELVASTATS_DETAIL=", notice.detail),
        concat("KELVASTATS_ADDRESS=", s.address),
        concat("KELVASTATS_ROUTER=", s.family),
    };
    // Texts from the router go into the environment only on one line.
    const auto add_text = [&](std::string_view name, const std::string& value) {
        if (value.empty() ||
            value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            return;
        environment.push_back(concat(name, "=", value));
    };
    const auto add_number = [&](std::string_view name, const auto& value) {
        if (!value) return;
        if constexpr (std::is_same_v<std::decay_t<decltype(*value)>, double>) {
            environment.push_back(concat(name, "=", number_text(*value)));
        } else {
            environment.push_back(concat(name, "=", std::to_string(*value)));
        }
    };
    add_text("KELVASTATS_STATE", s.state);
    add_text("KELVASTATS_LAST_COLLECTION", s.last_collection_time);
    add_number("KELVASTATS_RATE_DOWN", s.rate_kbits.down);
    add_number("KELVASTATS_RATE_UP", s.rate_kbits.up);
    add_number("KELVASTATS_ATTAINABLE_DOWN", s.attainable_kbits.down);
    add_number("KELVASTATS_ATTAINABLE_UP", s.attainable_kbits.up);
    add_number("KELVASTATS_SNR_MARGIN_DOWN", s.snr_margin_db.down);
    add_number("KELVASTATS_SNR_MARGIN_UP", s.snr_margin_db.up);
    add_number("KELVASTATS_CRC_DOWN", s.crc.down);
    add_number("KELVASTATS_CRC_UP", s.crc.up);
    add_number("KELVASTATS_FEC_DOWN", s.fec.down);
    add_number("KELVASTATS_FEC_UP", s.fec.up);
    add_number("KELVASTATS_TOTAL_BITS", s.total_bits);
    return environment;
}
