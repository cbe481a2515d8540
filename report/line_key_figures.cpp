// The key figures of the line and tones logs as text lines.
#include "report/line_key_figures.h"

#include <charconv>
#include <cmath>

#include "report/key_figures.h"
#include "report/text_format.h"

namespace {

std::string fixed(double value, int decimals) {
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(buffer, end) : number_text(value, decimals);
}

std::string range_text(const FigureRange& range, std::string (*text)(double)) {
    if (!range.any) return "none";
    return "lowest " + text(range.lowest) + ", highest " + text(range.highest) + ", latest " +
           text(range.latest);
}

std::string kbits(double value) {
    return number_text(value, 0);
}

}  // namespace

const Spacings& line_timeline_of(const LineLogsFigures& figures) {
    return figures.line_read == LogRead::read || figures.tones_read != LogRead::read
               ? figures.line.spacings
               : figures.tones.spacings;
}

std::string decibel_figure(double value) {
    const double tenths = value * 10;
    return fixed(value, std::abs(tenths - std::round(tenths)) < 1e-6 ? 1 : 2);
}

std::string line_key_figures_text(const LineLogsFigures& figures) {
    const Spacings& timeline = line_timeline_of(figures);
    const LineLogFigures& line = figures.line;
    std::string text = "period: ";
    text += timeline.collections() == 0
                ? "none"
                : format_stamp(timeline.first()) + " to " + format_stamp(timeline.last());
    text += "\ncollections: " + decimal(line.spacings.collections()) + " line, " +
            decimal(figures.tones.spacings.collections()) + " tones";
    const std::int32_t median = timeline.median();
    text += "\ninterval: " + (median < 0 ? std::string("none") : decimal(median) + " min");
    const GapTotals gaps = gap_totals(timeline);
    text += "\ngaps: " + decimal(static_cast<std::int64_t>(gaps.gaps.size())) + ", " +
            decimal(gaps.missing) + " collections missing\n";
    if (figures.line_read == LogRead::read) {
        const std::int64_t all = line.showtime + line.not_showtime;
        text +=
            "showtime: " +
            (all == 0
                 ? std::string("none")
                 : number_text(
                       100.0 * static_cast<double>(line.showtime) / static_cast<double>(all), 2) +
                       "% of collections (" + decimal(line.showtime) + " of " + decimal(all) +
                       ")") +
            "\nretrains: " + decimal(line.retrain_count) + "\n";
        static const char* const direction_names[] = {"down", "up"};
        for (int d = 0; d < 2; ++d) {
            const LineDirection& direction = line.directions[static_cast<std::size_t>(d)];
            text += std::string("errors ") + direction_names[d] + ":";
            for (std::size_t c = 0; c < line_counters; ++c)
                text += std::string(c == 0 ? " " : ", ") + line_counter_names[c] + " " +
                        decimal(direction.sums[c]);
            text += "\n";
        }
        text += "worst CRC hour: ";
        text += line.worst_crc_hour < 0 ? "none"
                                        : format_stamp(line.worst_crc_hour) + ", " +
                                              decimal(line.worst_crc_errors) + " errors";
        text += "\n";
        for (int d = 0; d < 2; ++d) {
            const LineDirection& direction = line.directions[static_cast<std::size_t>(d)];
            text += std::string("SNR margin ") + direction_names[d] + ": " +
                    range_text(direction.snr_margin, decibel_figure) + "\n";
        }
        for (int d = 0; d < 2; ++d) {
            const LineDirection& direction = line.directions[static_cast<std::size_t>(d)];
            text += std::string("rate ") + direction_names[d] + ": " +
                    range_text(direction.rate, kbits) + "\nattainable " + direction_names[d] +
                    ": " + range_text(direction.attainable, kbits) + "\n";
        }
    }
    text += "tones: " + decimal(figures.tones.tones > 0 ? figures.tones.tones : line.tones) + "\n";
    text += "skipped lines: " +
            decimal(line.quality.skipped() + figures.tones.quality.skipped() +
                    figures.tones.not_rebuilt) +
            "\n";
    return text;
}
