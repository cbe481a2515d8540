// The collector's figures and their Prometheus text exposition, written by replacing the file.
#include "collector/metrics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>
#include <span>
#include <utility>

#include "runtime/native_file.h"
#include "runtime/text.h"
#include "runtime/version.h"
#include "stats/pending_lines.h"
#include "stats/status_reply.h"

namespace {

// The reasons collection_worker.h gives for a cycle without its collection.
constexpr std::array<std::string_view, 4> worker_reasons = {"unreachable", "closed", "silent",
                                                            "refused"};

struct ErrorCounter {
    std::int32_t line;
    std::string_view name;
    std::string_view help;
};
constexpr std::array<ErrorCounter, 5> router_counters = {{
    {fec_line, "kelvastats_fec_errors_total",
     "The router's count of FEC errors (blocks forward error correction repaired), status line "
     "27."},
    {crc_line, "kelvastats_crc_errors_total",
     "The router's count of CRC errors (blocks received damaged), status line 28."},
    {hec_line, "kelvastats_hec_errors_total",
     "The router's count of HEC errors (ATM cell headers received damaged), status line 29."},
    {ncd_line, "kelvastats_ncd_errors_total",
     "The router's count of NCD errors (no cell delineation), status line 30."},
    {ocd_line, "kelvastats_ocd_errors_total",
     "The router's count of OCD errors (out of cell delineation), status line 31."},
}};

// A log's value of the label "log". A kind added to LogKind fails the build here (-Wswitch)
// until it has its name.
std::string_view log_label(LogKind log) {
    switch (log) {
        case LogKind::statistics:
            return "statistics";
        case LogKind::bins:
            return "bins";
        case LogKind::line:
            return "line";
        case LogKind::tones:
            return "tones";
    }
    return "unknown";
}

// What the help of every running total of the line record says after its own first words.
constexpr std::string_view running_total_help =
    ", by direction (down: what the modem received, up: what the exchange received). The "
    "router's running total since the line came up: it starts again low when the line retrains, "
    "which rate() and increase() take for a counter reset.";

// A family of the line record's figures per direction.
struct DirectionFamily {
    std::string_view name;
    std::string_view help;
};
constexpr DirectionFamily sync_rate_family = {
    "kelvastats_line_sync_rate_bytes_per_second",
    "The rate the line is synchronised at, by direction, in bytes per second (the router's kbit/s "
    "times 125)."};
constexpr DirectionFamily attainable_rate_family = {
    "kelvastats_line_attainable_rate_bytes_per_second",
    "The highest rate the router expects the line could reach, by direction, in bytes per second "
    "(the router's kbit/s times 125)."};
constexpr DirectionFamily snr_margin_family = {
    "kelvastats_line_snr_margin_decibels",
    "The line's SNR margin by direction, in dB: how far the noise may rise before bits are lost."};
constexpr DirectionFamily attenuation_family = {
    "kelvastats_line_attenuation_decibels",
    "The line's attenuation by direction, in dB, as the router reports it."};
constexpr DirectionFamily power_family = {
    "kelvastats_line_output_power_dbm",
    "The output power by direction, in dBm (decibels relative to one milliwatt): down is the "
    "exchange's, up the modem's."};

struct RunningTotalFamily {
    PerDirection<RunningCount> LineRecord::*counts;
    std::string_view name;
    std::string_view help;
};
constexpr std::array<RunningTotalFamily, 6> running_total_families = {{
    {&LineRecord::fec, "kelvastats_line_fec_errors_total",
     "Blocks that forward error correction repaired"},
    {&LineRecord::crc, "kelvastats_line_crc_errors_total", "Blocks received damaged (CRC errors)"},
    {&LineRecord::hec, "kelvastats_line_hec_errors_total",
     "Cell headers received damaged (HEC errors)"},
    {&LineRecord::es, "kelvastats_line_errored_seconds_total",
     "Errored seconds (ES), seconds with at least one damaged block"},
    {&LineRecord::ses, "kelvastats_line_severely_errored_seconds_total",
     "Severely errored seconds (SES)"},
    {&LineRecord::uas, "kelvastats_line_unavailable_seconds_total",
     "Seconds the line was unavailable (UAS)"},
}};

constexpr std::int64_t bytes_per_second_per_kbits = 125;            // 1000 bits / 8
constexpr std::string_view replacement_character = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

bool is_unit_character(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '%' || c == '/';
}

// label_value_text appended to text, without a string of its own.
void append_label_value(std::string& text, std::string_view raw) {
    while (!raw.empty()) {
        const char c = raw.front();
        const std::size_t length = c == '\0' ? 0 : utf8_sequence_length(raw);
        if (length == 0) {
            text.append(replacement_character);
            raw.remove_prefix(1);
            continue;
        }
        if (c == '\\') {
            text.append("\\\\");
        } else if (c == '"') {
            text.append("\\\"");
        } else if (c == '\n') {
            text.append("\\n");
        } else {
            text.append(raw.substr(0, length));
        }
        raw.remove_prefix(length);
    }
}

// The numbers of this file: integers as they are, other values in the shortest form that reads
// back the same.
template <typename Number>
void append_number(std::string& text, Number number) {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, number);
    text.append(digits, result.ptr);
}

// "# HELP" and "# TYPE" of one metric family.
void append_family(std::string& text, std::string_view name, std::string_view type,
                   std::string_view help) {
    text.append("# HELP ").append(name).append(" ").append(help).append("\n");
    text.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

using Label = std::pair<std::string_view, std::string_view>;  // its name and raw value

// One sample: name, its labels and the value.
template <typename Number>
void append_sample(std::string& text, std::string_view name, std::span<const Label> labels,
                   Number value) {
    text.append(name);
    if (!labels.empty()) {
        char separator = '{';
        for (const auto& [label, raw] : labels) {
            text.push_back(separator);
            text.append(label).append("=\"");
            append_label_value(text, raw);
            text.push_back('"');
            separator = ',';
        }
        text.push_back('}');
    }
    text.push_back(' ');
    append_number(text, value);
    text.push_back('\n');
}

template <typename Number>
void append_sample(std::string& text, std::string_view name, std::initializer_list<Label> labels,
                   Number value) {
    append_sample(text, name, std::span<const Label>(labels.begin(), labels.size()), value);
}

template <typename Number>
void append_single(std::string& text, std::string_view name, std::string_view type,
                   std::string_view help, Number value) {
    append_family(text, name, type, help);
    append_sample(text, name, {}, value);
}

// A figure of the line record as the number the text shows; nullopt when the record lacks it.
std::optional<std::uint64_t> figure_number(const RunningCount& count) {
    return count;
}
// A rate past what bytes per second can hold in 64 bits is a family's slip, no figure.
std::optional<std::int64_t> figure_number(const RateKbits& rate) {
    constexpr std::int64_t limit =
        std::numeric_limits<std::int64_t>::max() / bytes_per_second_per_kbits;
    if (!rate || *rate > limit || *rate < -limit) return std::nullopt;
    return *rate * bytes_per_second_per_kbits;
}
// A decibel text: the record holds it plain; anything else (a family's slip) is no figure, so
// that it cannot break the text.
std::optional<double> figure_number(const std::string& decibels) {
    double number = 0;
    const char* end = decibels.data() + decibels.size();
    const auto parsed = std::from_chars(decibels.data(), end, number, std::chars_format::fixed);
    if (decibels.empty() || parsed.ec != std::errc() || parsed.ptr != end || !std::isfinite(number))
        return std::nullopt;
    return number;
}

// A family with a sample for each direction the record has a figure for; nothing when it has
// none.
template <typename Figure>
void append_directions(std::string& text, std::string_view name, std::string_view type,
                       std::string_view help, const PerDirection<Figure>& figure) {
    const auto down = figure_number(figure.down);
    const auto up = figure_number(figure.up);
    if (!down && !up) return;
    append_family(text, name, type, help);
    if (down) append_sample(text, name, {{"direction", "down"}}, *down);
    if (up) append_sample(text, name, {{"direction", "up"}}, *up);
}

template <typename Figure>
void append_directions(std::string& text, const DirectionFamily& family,
                       const PerDirection<Figure>& figure) {
    append_directions(text, family.name, "gauge", family.help, figure);
}

template <typename Integer>
char* write_tone_value(char* out, char* end, Integer value) {
    return std::to_chars(out, end, value).ptr;
}

// A tone's SNR. The tables' values have few decimals, and a fixed number of them is several
// times faster to write than to_chars' shortest form: the fewest decimals, up to four, whose
// number reads back as the same double (k / 10^d is then the very double that parsing k's
// decimal text gives); to_chars' shortest form for any other value.
char* write_tone_value(char* out, char* end, double value) {
    constexpr std::array<std::int64_t, 5> scales = {1, 10, 100, 1000, 10000};
    if (!(std::fabs(value) < 1e9)) return std::to_chars(out, end, value).ptr;
    for (std::size_t decimals = 0; decimals < scales.size(); ++decimals) {
        const auto scale = static_cast<double>(scales[decimals]);
        const double scaled = std::nearbyint(value * scale);
        if (scaled / scale != value) continue;
        const auto digits = static_cast<std::int64_t>(std::fabs(scaled));
        if (value < 0 && digits != 0) *out++ = '-';
        out = std::to_chars(out, end, digits / scales[decimals]).ptr;
        if (decimals == 0) return out;
        *out++ = '.';
        std::int64_t fraction = digits % scales[decimals];
        for (std::size_t place = decimals; place-- > 0;) {
            out[place] = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        return out + decimals;
    }
    return std::to_chars(out, end, value).ptr;
}

// One sample per tone, tone 0 first, skipping the tones `present` refuses; the family only when
// some tone has a sample. The label's value is a number: no escaping is needed.
template <typename Value, typename Present>
void append_tone_family(std::string& text, std::string_view name, std::string_view help,
                        std::span<const Value> values, Present present) {
    if (std::none_of(values.begin(), values.end(), present)) return;
    append_family(text, name, "gauge", help);
    // Thousands of lines: written straight into the text, which grows once by what the longest
    // lines could take and is then cut to what they took.
    constexpr std::string_view label = "{tone=\"", label_end = "\"} ";
    const std::size_t used = text.size();
    text.resize(used + values.size() * (name.size() + label.size() + label_end.size() + 64));
    char* out = text.data() + used;
    char* const end = text.data() + text.size();
    for (std::size_t tone = 0; tone < values.size(); ++tone) {
        if (!present(values[tone])) continue;
        out = std::copy(name.begin(), name.end(), out);
        out = std::copy(label.begin(), label.end(), out);
        out = std::to_chars(out, end, tone).ptr;
        out = std::copy(label_end.begin(), label_end.end(), out);
        out = write_tone_value(out, end, values[tone]);
        *out++ = '\n';
    }
    text.resize(static_cast<std::size_t>(out - text.data()));
}

// The latest bit table, the classic family's or a line record's, under the same names.
template <typename Bits>
void append_bit_loading(std::string& text, std::span<const Bits> bits, std::int64_t total) {
    append_tone_family(text, "kelvastats_tone_bit_loading",
                       "Bits loaded on each tone in the router's latest bit-loading reply.", bits,
                       [](Bits) { return true; });
    append_single(text, "kelvastats_line_bit_loading", "gauge",
                  "Bits loaded on all tones together; a fall shows a retrain.", total);
}

void append_line_record(std::string& text, const LineRecord& line) {
    if (!line.state.empty()) {
        append_single(text, "kelvastats_line_showtime", "gauge",
                      "1 when the router's latest word for the line's state says showtime (the "
                      "line is up), 0 for any other state.",
                      line_in_showtime(line) ? 1 : 0);
    }
    std::array<Label, 3> words;
    std::size_t word_count = 0;
    for (const Label& word :
         {Label{"state", line.state}, Label{"mode", line.mode}, Label{"profile", line.profile}}) {
        if (!word.second.empty()) words[word_count++] = word;
    }
    if (word_count > 0) {
        append_family(text, "kelvastats_line_info", "gauge",
                      "The router's words for the line as labels: its state, its mode (the "
                      "modulation) and its VDSL2 profile, each left out when the router gave "
                      "none; the value is always 1.");
        append_sample(text, "kelvastats_line_info",
                      std::span<const Label>(words.data(), word_count), 1);
    }
    append_directions(text, sync_rate_family, line.rate);
    append_directions(text, attainable_rate_family, line.attainable);
    append_directions(text, snr_margin_family, line.snr_margin);
    append_directions(text, attenuation_family, line.attenuation);
    append_directions(text, power_family, line.power);
    std::string help;
    for (const RunningTotalFamily& family : running_total_families) {
        help.assign(family.help).append(running_total_help);
        append_directions(text, family.name, "counter", help, line.*family.counts);
    }
}

void record_line(LineFigures& figures, const LineRecord& record) {
    figures.line = record;
    const bool line_gone = !record.state.empty() && !line_in_showtime(record);
    if (!figures.line.bits.empty()) {
        figures.tone_bits = std::move(figures.line.bits);
        figures.has_bins = false;
    } else if (line_gone) {
        figures.tone_bits.clear();
    }
    if (!figures.line.snr.empty()) {
        figures.tone_snr = std::move(figures.line.snr);
    } else if (line_gone) {
        figures.tone_snr.clear();
    }
    figures.line.bits.clear();
    figures.line.snr.clear();
    figures.has_line_record = true;
}

void record_status(LineFigures& figures, std::string_view reply) {
    ReplyLineViews lines;
    const std::int32_t line_count = split_reply_lines(reply, lines);
    for (std::size_t i = 0; i < router_counters.size(); ++i) {
        figures.error_counters[i] = static_cast<std::uint32_t>(
            counter_value(lines[static_cast<std::size_t>(router_counters[i].line)]));
    }
    figures.status_values.clear();
    StatusValue number;
    for (std::int32_t k = 1; k <= line_count; ++k) {
        const std::string_view line = lines[static_cast<std::size_t>(k)];
        if (!status_number(value_text(line), number.value, number.unit)) continue;
        number.line = k;
        number.label = trim_blanks(nth_field_view(line, 1, "="));
        figures.status_values.push_back(number);
    }
    figures.has_status = true;
}

bool write_whole(NativeFile file, std::string_view text) {
    while (!text.empty()) {
        const std::int64_t written = native_write(file, text.data(), text.size());
        if (written <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

LineFigures start_line_figures(std::int64_t now_unix, std::int32_t interval_ms) {
    LineFigures figures;
    figures.start_time_unix = now_unix;
    figures.interval_seconds = interval_ms / 1000.0;
    for (const std::string_view reason : worker_reasons) {
        figures.missed_cycles.push_back({std::string(reason), 0});
    }
    return figures;
}

void record_cycle(LineFigures& figures, const CycleReport& report, std::int64_t now_unix) {
    figures.any_cycle = true;
    figures.latest_cycle_collected = report.collected;
    if (report.collected) {
        ++figures.collections;
        figures.last_collection_unix = now_unix;
    } else {
        const std::string_view reason = report.reason.empty() ? "unknown" : report.reason;
        // Reasons that read the same in the text (bytes that are not UTF-8) count as one series.
        const std::string label = label_value_text(reason);
        auto missed = std::find_if(
            figures.missed_cycles.begin(), figures.missed_cycles.end(),
            [&label](const MissedCycles& m) { return label_value_text(m.reason) == label; });
        if (missed == figures.missed_cycles.end()) {
            missed = figures.missed_cycles.insert(missed, {std::string(reason), 0});
        }
        ++missed->count;
    }
    if (!report.status_reply.empty()) record_status(figures, report.status_reply);
    if (!report.bins_reply.empty()) {
        figures.bins = bin_bits(report.bins_reply);
        figures.has_bins = true;
        figures.tone_bits.clear();
    }
    if (report.line_record != nullptr) record_line(figures, *report.line_record);
    for (std::size_t i = 0; i < log_kinds.size(); ++i) {
        figures.pending_lines[i] = pending_line_count(log_kinds[i]);
        figures.dropped_lines[i] = dropped_line_count(log_kinds[i]);
    }
}

bool status_number(std::string_view value_text, double& value, std::string& unit) {
    std::string_view text = trim_blanks(value_text);
    // The number: an optional sign, digits with an optional fraction.
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
    if (text.empty() || !(text.front() >= '0' && text.front() <= '9')) return false;
    double magnitude = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), magnitude,
                                        std::chars_format::fixed);
    if (parsed.ec != std::errc()) return false;
    text.remove_prefix(static_cast<std::size_t>(parsed.ptr - text.data()));
    // Then nothing, or blanks and one unit word.
    text = trim_blanks(text);
    if (!std::all_of(text.begin(), text.end(), is_unit_character)) return false;
    value = negative ? -magnitude : magnitude;
    unit = text;
    return true;
}

std::string label_value_text(std::string_view raw) {
    std::string text;
    append_label_value(text, raw);
    return text;
}

std::string metrics_text(const LineFigures& figures) {
    std::string text;
    // The tables take the room append_tone_family asks for while writing (under 128 bytes a
    // tone); the rest fits in 16 KB.
    const std::size_t tones = figures.tone_bits.size() + figures.tone_snr.size() +
                              (figures.has_bins ? figures.bins.bits.size() : 0);
    text.reserve(16384 + 128 * tones);
    append_family(text, "kelvastats_build_info", "gauge",
                  "The collector's version, as the label version; the value is always 1.");
    append_sample(text, "kelvastats_build_info", {{"version", program_version()}}, 1);
    append_single(text, "kelvastats_start_time_seconds", "gauge",
                  "When the collector started, in seconds since 1970.", figures.start_time_unix);
    append_single(text, "kelvastats_interval_seconds", "gauge",
                  "The pause between two collections, in seconds.", figures.interval_seconds);
    if (figures.any_cycle) {
        append_single(text, "kelvastats_last_cycle_collected", "gauge",
                      "1 when the latest cycle collected the router's replies, 0 when it ended "
                      "without.",
                      figures.latest_cycle_collected ? 1 : 0);
    }
    append_single(text, "kelvastats_collections_total", "counter",
                  "Collections (the router's replies read and logged) since the collector "
                  "started.",
                  figures.collections);
    append_family(text, "kelvastats_missed_cycles_total", "counter",
                  "Cycles that ended without a collection since the collector started, by reason: "
                  "unreachable (no connection), closed (the router hung up), silent (it stopped "
                  "answering), refused (it refused the login).");
    for (const MissedCycles& missed : figures.missed_cycles) {
        append_sample(text, "kelvastats_missed_cycles_total", {{"reason", missed.reason}},
                      missed.count);
    }
    if (figures.collections > 0) {
        append_single(text, "kelvastats_last_collection_timestamp_seconds", "gauge",
                      "When the latest collection ended, in seconds since 1970.",
                      figures.last_collection_unix);
    }

    if (figures.has_status) {
        for (std::size_t i = 0; i < router_counters.size(); ++i) {
            append_single(text, router_counters[i].name, "counter", router_counters[i].help,
                          figures.error_counters[i]);
        }
        if (!figures.status_values.empty()) {
            append_family(text, "kelvastats_status_value", "gauge",
                          "Every number of the router's latest status reply, by its line number, "
                          "its label (the text before =) and its unit.");
        }
        std::string line_number;
        for (const StatusValue& status : figures.status_values) {
            line_number = to_decimal(status.line);
            if (status.unit.empty()) {
                append_sample(text, "kelvastats_status_value",
                              {{"line", line_number}, {"label", status.label}}, status.value);
            } else {
                append_sample(
                    text, "kelvastats_status_value",
                    {{"line", line_number}, {"label", status.label}, {"unit", status.unit}},
                    status.value);
            }
        }
    }

    if (figures.has_line_record) append_line_record(text, figures.line);

    if (!figures.tone_bits.empty()) {
        std::int64_t total = 0;
        for (const std::uint8_t bits : figures.tone_bits) total += bits;
        append_bit_loading(text, std::span<const std::uint8_t>(figures.tone_bits), total);
    } else if (figures.has_bins) {
        append_bit_loading(text, std::span<const std::int32_t>(figures.bins.bits),
                           figures.bins.total);
    }
    append_tone_family(text, "kelvastats_tone_snr_decibels",
                       "The SNR of each tone in the router's latest SNR table, in dB; a tone "
                       "without a value has no sample.",
                       std::span<const double>(figures.tone_snr),
                       [](double snr) { return std::isfinite(snr); });

    append_family(text, "kelvastats_pending_log_lines", "gauge",
                  "Lines waiting in memory for a log that cannot be written.");
    for (std::size_t i = 0; i < log_kinds.size(); ++i) {
        append_sample(text, "kelvastats_pending_log_lines", {{"log", log_label(log_kinds[i])}},
                      figures.pending_lines[i]);
    }
    append_family(text, "kelvastats_dropped_log_lines_total", "counter",
                  "Lines lost because too many waited for a log that cannot be written.");
    for (std::size_t i = 0; i < log_kinds.size(); ++i) {
        append_sample(text, "kelvastats_dropped_log_lines_total",
                      {{"log", log_label(log_kinds[i])}}, figures.dropped_lines[i]);
    }
    return text;
}

int write_metrics_file(const std::string& path, std::string_view text) {
    const std::string temporary = path + ".tmp";
    const NativeFile file = native_create_always(temporary);
    if (!file.present()) return -1;
    const bool written = write_whole(file, text);
    if (native_close(file) && written && native_replace_file(temporary, path)) return 0;
    native_remove_file(temporary);
    return -1;
}
