// The tones log's lines: whole loadings, the tones that changed, and the SNR table.
#include "stats/tones_log.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace {

std::size_t decimal_digits(std::size_t value) {
    std::size_t digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

void append_decimal(std::string& line, std::size_t value) {
    std::array<char, 24> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    line.append(text.data(), end);
}

// The SNR with one decimal, whatever the locale; nothing for NaN or an infinity.
void append_decibels(std::string& line, double value) {
    if (!std::isfinite(value)) return;
    // Room for the widest double written in full, as a parser's fault could hand one over.
    std::array<char, 400> text{};
    const auto end =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 1)
            .ptr;
    const std::string_view written(text.data(), static_cast<std::size_t>(end - text.data()));
    line.append(written == "-0.0" ? "0.0" : written);
}

void begin_line(std::string& lines, std::string_view time_stamp, std::string_view kind) {
    lines.append(time_stamp).append(",").append(kind);
}

void append_bits_line(std::string& lines, std::string_view time_stamp,
                      const std::vector<std::uint8_t>& bits) {
    begin_line(lines, time_stamp, "bits");
    for (const std::uint8_t b : bits) {
        lines.push_back(',');
        append_decimal(lines, b);
    }
    lines.append("\r\n");
}

void append_snr_line(std::string& lines, std::string_view time_stamp,
                     const std::vector<double>& snr, std::size_t tone_count) {
    // No more fields than the header of the bit table names.
    std::size_t fields = std::min(snr.size(), tone_count);
    while (fields > 0 && !std::isfinite(snr[fields - 1])) --fields;
    begin_line(lines, time_stamp, "snr");
    for (std::size_t tone = 0; tone < fields; ++tone) {
        lines.push_back(',');
        append_decibels(lines, snr[tone]);
    }
    lines.append("\r\n");
}

// The bytes of a bits line's fields, and of a bitswap line's for the tones that changed.
std::size_t bits_fields_bytes(const std::vector<std::uint8_t>& bits) {
    std::size_t bytes = 0;
    for (const std::uint8_t b : bits) bytes += 1 + decimal_digits(b);
    return bytes;
}

std::size_t swap_fields_bytes(const std::vector<std::size_t>& changed,
                              const std::vector<std::uint8_t>& bits) {
    std::size_t bytes = 0;
    for (const std::size_t tone : changed)
        bytes += 2 + decimal_digits(tone) + decimal_digits(bits[tone]);
    return bytes;
}

}  // namespace

ClockHour clock_hour(std::int64_t date, int utc_offset_minutes) {
    // A clock that could not be read (date -1) falls in an hour of its own.
    return {date < 0 ? -1 : date / 3600, utc_offset_minutes};
}

std::string tones_log_header(std::size_t tone_count) {
    std::string header = "Time,Kind";
    header.reserve(header.size() + tone_count * 9 + 2);
    for (std::size_t tone = 0; tone < tone_count; ++tone) {
        header.append(",Tone");
        append_decimal(header, tone);
    }
    return header + "\r\n";
}

std::string tones_log_lines(const LineRecord& record, std::string_view time_stamp, ClockHour hour,
                            TonesLogOpening opening, TonesMemory& memory) {
    const std::vector<std::uint8_t>& bits = record.bits;
    if (bits.empty()) return "";
    const bool new_tone_count = !memory.bits_written || memory.bits.size() != bits.size();
    std::vector<std::size_t> changed;
    bool whole = new_tone_count || opening.started || hour != memory.bits_hour;
    if (!whole) {
        for (std::size_t tone = 0; tone < bits.size(); ++tone) {
            if (bits[tone] != memory.bits[tone]) changed.push_back(tone);
        }
        // Ties go to the whole line, which needs no line before it.
        whole = swap_fields_bytes(changed, bits) >= bits_fields_bytes(bits);
    }

    std::string lines;
    if (new_tone_count && !opening.header_written) lines = tones_log_header(bits.size());
    if (whole) {
        append_bits_line(lines, time_stamp, bits);
        memory.bits_hour = hour;
    } else {
        begin_line(lines, time_stamp, "bitswap");
        for (const std::size_t tone : changed) {
            lines.push_back(',');
            append_decimal(lines, tone);
            lines.push_back(':');
            append_decimal(lines, bits[tone]);
        }
        lines.append("\r\n");
    }
    memory.bits_written = true;
    memory.bits = bits;

    if (!record.snr.empty() && (!memory.snr_written || hour != memory.snr_hour)) {
        append_snr_line(lines, time_stamp, record.snr, bits.size());
        memory.snr_written = true;
        memory.snr_hour = hour;
    }
    return lines;
}
