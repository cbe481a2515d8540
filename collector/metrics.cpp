// The collector's figures and their Prometheus text exposition, written by replacing the file.
#include "collector/metrics.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
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

constexpr std::array<std::string_view, 2> log_names = {"statistics", "bins"};
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

// The length of the valid UTF-8 sequence at the start of text, or 0 when it does not start with
// one: no overlong forms, no surrogates, nothing past U+10FFFF, as Prometheus checks.
std::size_t utf8_sequence_length(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong below U+10000
        if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
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

// One sample: name, its labels (name and raw value pairs) and the value.
template <typename Number>
void append_sample(std::string& text, std::string_view name,
                   std::initializer_list<std::pair<std::string_view, std::string_view>> labels,
                   Number value) {
    text.append(name);
    if (labels.size() != 0) {
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
void append_single(std::string& text, std::string_view name, std::string_view type,
                   std::string_view help, Number value) {
    append_family(text, name, type, help);
    append_sample(text, name, {}, value);
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
    }
    for (const LogKind log : {LogKind::statistics, LogKind::bins}) {
        const auto index = static_cast<std::size_t>(log);
        figures.pending_lines[index] = pending_line_count(log);
        figures.dropped_lines[index] = dropped_line_count(log);
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
    text.reserve(16384);
    append_family(text, "kelvastats_build_info", "gauge",
                  "The collector's version, as the label version; the value is always 1.");
    append_sample(text, "kelvastats_build_info", {{"version", program_version()}}, 1);
    append_single(text, "kelvastats_start_time_seconds", "gauge",
                  "When the collector started, in seconds since 1970.", figures.start_time_unix);
    append_single(text, "kelvastats_interval_seconds", "gauge",
                  "The pause between two collections, in seconds.", figures.interval_seconds);
    if (figures.any_cycle) {
        append_single(text, "kelvastats_last_cycle_collected", "gauge",
                      "1 when the latest cycle collected both replies, 0 when it ended without.",
                      figures.latest_cycle_collected ? 1 : 0);
    }
    append_single(text, "kelvastats_collections_total", "counter",
                  "Collections (both replies read and logged) since the collector started.",
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

    if (figures.has_bins) {
        append_family(text, "kelvastats_tone_bit_loading", "gauge",
                      "Bits loaded on each tone in the router's latest bit-loading reply.");
        char tone_digits[8];
        for (std::size_t tone = 0; tone < figures.bins.bits.size(); ++tone) {
            const auto digits = std::to_chars(tone_digits, tone_digits + sizeof tone_digits, tone);
            append_sample(text, "kelvastats_tone_bit_loading",
                          {{"tone", std::string_view(tone_digits, digits.ptr)}},
                          figures.bins.bits[tone]);
        }
        append_single(text, "kelvastats_line_bit_loading", "gauge",
                      "Bits loaded on all tones together; a fall shows a retrain.",
                      figures.bins.total);
    }

    append_family(text, "kelvastats_pending_log_lines", "gauge",
                  "Lines waiting in memory for a log that cannot be written.");
    for (std::size_t i = 0; i < log_names.size(); ++i) {
        append_sample(text, "kelvastats_pending_log_lines", {{"log", log_names[i]}},
                      figures.pending_lines[i]);
    }
    append_family(text, "kelvastats_dropped_log_lines_total", "counter",
                  "Lines lost because too many waited for a log that cannot be written.");
    for (std::size_t i = 0; i < log_names.size(); ++i) {
        append_sample(text, "kelvastats_dropped_log_lines_total", {{"log", log_names[i]}},
                      figures.dropped_lines[i]);
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
