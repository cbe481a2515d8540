// Reads the bins log into its aggregates.
#include "report/read_bins.h"

#include <cmath>

namespace {

constexpr std::size_t stamp_columns = 2;
constexpr double tone_spacing_khz = 4.3125;
constexpr std::int32_t max_tone_bits = 32767;
constexpr std::int32_t never_lowest =
    max_tone_bits +
    1;  // a tone's lowest before any value  // far above any line's 15, far below overflow

void read_header(std::string_view header, BinsFigures& figures) {
    FieldCursor fields(header);
    std::string_view field;
    std::int32_t columns = 0;
    while (fields.next(field)) {
        ++columns;
        if (field.starts_with("Bin")) ++figures.tones;
    }
    figures.quality.header_columns = columns;
    const auto tones = static_cast<std::size_t>(figures.tones);
    figures.frequencies_khz.resize(tones);
    for (std::size_t tone = 0; tone < tones; ++tone)  // until the frequency row says otherwise
        figures.frequencies_khz[tone] =
            static_cast<std::int32_t>(std::floor(tone * tone_spacing_khz));
    figures.lowest.assign(tones, -1);
    figures.highest.assign(tones, -1);
    figures.latest.assign(tones, -1);
    figures.changes.assign(tones, 0);
}

// The row of tone frequencies ("N/A, N/A,0Khz,4Khz,..."): true when the line is one.
bool read_frequency_row(std::string_view line, BinsFigures& figures) {
    if (!line.starts_with("N/A")) return false;
    FieldCursor fields(line);
    std::string_view field;
    for (std::size_t k = 0; fields.next(field); ++k) {
        if (k < stamp_columns || k - stamp_columns >= figures.frequencies_khz.size()) continue;
        double khz = 0;
        if (leading_number(field, khz))
            figures.frequencies_khz[k - stamp_columns] = static_cast<std::int32_t>(khz);
    }
    return true;
}

bool all_digits(std::string_view text) {
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

std::int64_t glued_total(std::string_view column, std::int64_t other_tones_sum) {
    for (std::size_t split = 0; split < column.size(); ++split) {
        const std::string_view bits_text = column.substr(0, split);
        const std::string_view total_text = column.substr(split);
        if (!all_digits(bits_text) || !all_digits(total_text) || total_text.size() > 12) continue;
        std::int64_t bits = 0, total = 0;
        if (!bits_text.empty()) whole_number(bits_text, bits);
        whole_number(total_text, total);
        if (total == other_tones_sum + bits) return total;
    }
    return -1;
}

LogRead read_bins(const std::string& path, const ReportPeriod& period, BinsFigures& figures,
                  std::atomic<std::int64_t>* bytes_read) {
    const auto columns = static_cast<std::size_t>(period.heat.count);
    figures.total_buckets.assign(static_cast<std::size_t>(period.buckets.count), {});
    LogQuality& quality = figures.quality;
    std::vector<std::int32_t> bits;  // this line's, -1 for a value that is not a number
    std::vector<std::int32_t> previous;
    // While reading, heat_counts holds the values each cell misses, and the lines of each column
    // are counted here: the usual line then touches two arrays less per tone.
    std::vector<std::int64_t> heat_lines(columns);

    const auto on_header = [&](std::string_view header) {
        read_header(header, figures);
        const auto tones = static_cast<std::size_t>(figures.tones);
        figures.heat_sums.assign(columns * tones, 0);
        figures.heat_counts.assign(columns * tones, 0);
        figures.lowest.assign(tones, never_lowest);
        bits.assign(tones, -1);
        previous.assign(tones, -1);
    };
    bool frequencies_read = false;
    const auto on_extra_header = [&](std::string_view line) {
        if (frequencies_read) return false;
        frequencies_read = true;
        return read_frequency_row(line, figures);
    };
    const auto on_line = [&](std::string_view line, WallMinute stamp) {
        figures.spacings.add(stamp);
        const auto tones = static_cast<std::size_t>(figures.tones);
        const auto heat_column = static_cast<std::size_t>(period.heat.index(stamp));
        const std::size_t heat_row = heat_column * tones;
        ++heat_lines[heat_column];
        FieldCursor fields(line);
        std::string_view field;
        std::int32_t number = 0;
        std::size_t k = 0;
        std::int64_t tones_sum = 0;
        std::int64_t total = -1;
        // Plain pointers: stores through them cannot move the vectors, so the loop keeps them in
        // registers instead of reloading each vector's data at every tone.
        std::int32_t* const lowest = figures.lowest.data();
        std::int32_t* const highest = figures.highest.data();
        std::int32_t* const latest = figures.latest.data();
        std::int32_t* const line_bits = bits.data();
        const std::int32_t* const before = previous.data();
        std::int64_t* const changes = figures.changes.data();
        std::int64_t* const heat_sums = figures.heat_sums.data() + heat_row;
        std::int64_t* const heat_missing = figures.heat_counts.data() + heat_row;
        std::int64_t not_numbers = 0;
        for (; fields.next(field, number); ++k) {
            if (k < stamp_columns) continue;
            const std::size_t tone = k - stamp_columns;
            if (tone > tones) continue;
            std::int64_t value = 0;
            if (tone == tones) {  // the total, or in an older layout the last tone glued to it
                if (figures.tones >= current_tone_count) {
                    if (whole_number(field, value)) total = value;
                } else {
                    total = glued_total(field, tones_sum);
                }
                continue;
            }
            if (number < 0 || number > max_tone_bits) {  // not a number, or not a bit count
                ++not_numbers;
                ++heat_missing[tone];
                line_bits[tone] = -1;
                continue;
            }
            const std::int32_t tone_bits = number;
            line_bits[tone] = tone_bits;
            tones_sum += tone_bits;
            lowest[tone] = std::min(lowest[tone], tone_bits);
            highest[tone] = std::max(highest[tone], tone_bits);
            latest[tone] = tone_bits;
            if (before[tone] >= 0 && before[tone] != tone_bits) ++changes[tone];
            heat_sums[tone] += tone_bits;
        }
        quality.not_numbers += not_numbers;
        // A short line: its missing tones break no run of changes and add nothing to the heat map.
        for (std::size_t tone = k > stamp_columns ? k - stamp_columns : 0; tone < tones; ++tone) {
            bits[tone] = -1;
            ++heat_missing[tone];
        }
        previous.swap(bits);
        if (total < 0 && figures.tones < current_tone_count && k > stamp_columns + tones) {
            total = tones_sum;
            ++figures.totals_from_tones;
        }
        const auto line_columns = static_cast<std::int32_t>(k);
        if (quality.usual_columns == 0) quality.usual_columns = line_columns;
        if (line_columns != quality.usual_columns) ++quality.other_column_count;
        if (total < 0) return;
        figures.total_buckets[static_cast<std::size_t>(period.buckets.index(stamp))].add(
            static_cast<double>(total));
        if (figures.total_lines == 0 || total < figures.lowest_total) figures.lowest_total = total;
        if (figures.total_lines == 0 || total > figures.highest_total)
            figures.highest_total = total;
        figures.latest_total = total;
        ++figures.total_lines;
    };
    const LogRead result =
        walk_log(path, period, quality, bytes_read, on_header, on_extra_header, on_line);
    const auto tones = static_cast<std::size_t>(figures.tones);
    for (std::size_t column = 0; column < columns && tones > 0; ++column) {
        for (std::size_t tone = 0; tone < tones; ++tone) {
            std::int64_t& count = figures.heat_counts[column * tones + tone];
            count = heat_lines[column] - count;
        }
    }
    for (std::int32_t& lowest : figures.lowest) lowest = lowest == never_lowest ? -1 : lowest;
    return result;
}
