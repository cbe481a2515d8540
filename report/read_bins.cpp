// Reads the bins log into its aggregates.
#include "report/read_bins.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <future>
#include <map>

namespace {

constexpr std::size_t stamp_columns = 2;
constexpr double tone_spacing_khz = 4.3125;
// Far above any line's 15 bits a tone, far below an overflow.
constexpr std::int32_t max_tone_bits = 32767;
constexpr std::int32_t never_lowest = max_tone_bits + 1;  // a tone's lowest before any value

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
        if (leading_number(field, khz) && khz >= 0 && khz < 1e9)
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

namespace {

// What one part's reader keeps beside its figures, to join them to the next part's.
struct PartEdges {
    std::vector<std::int32_t> first_bits;  // of the part's first line used; empty when none
    std::vector<std::int32_t> last_bits;
    std::map<std::int32_t, std::int64_t> column_counts;  // lines used, by their column count
    std::int32_t first_columns = 0;
    std::int64_t lines = 0;  // the number of the part's last line, counted from its start
};

// Reads the data lines from the reader's place up to the first that starts at `to` into `figures`,
// whose header fields are set; lines are numbered on from `lines_before`.
void read_part(LineReader& reader, const ReportPeriod& period, BinsFigures& figures,
               std::int64_t lines_before, std::int64_t to, PartEdges& edges) {
    const auto columns = static_cast<std::size_t>(period.heat.count);
    figures.total_buckets.assign(static_cast<std::size_t>(period.buckets.count), {});
    LogQuality& quality = figures.quality;
    std::vector<std::int32_t> bits;  // this line's, -1 for a value that is not a number
    std::vector<std::int32_t> previous;
    // While reading, heat_counts holds the values each cell misses, and the lines of each column
    // are counted here: the usual line then touches two arrays less per tone.
    std::vector<std::int64_t> heat_lines(columns);

    {
        const auto tones = static_cast<std::size_t>(figures.tones);
        figures.heat_sums.assign(columns * tones, 0);
        figures.heat_counts.assign(columns * tones, 0);
        figures.lowest.assign(tones, never_lowest);
        bits.assign(tones, -1);
        previous.assign(tones, -1);
    }
    std::int32_t counted_columns = -1;
    std::int64_t* column_count = nullptr;
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
        if (edges.first_bits.empty()) edges.first_bits = previous;
        const auto line_columns = static_cast<std::int32_t>(k);
        if (edges.first_columns == 0) edges.first_columns = line_columns;
        if (line_columns != counted_columns) {  // the usual line finds its count at hand
            counted_columns = line_columns;
            column_count = &edges.column_counts[line_columns];
        }
        ++*column_count;
        if (total < 0) return;
        figures.total_buckets[static_cast<std::size_t>(period.buckets.index(stamp))].add(
            static_cast<double>(total));
        if (figures.total_lines == 0 || total < figures.lowest_total) figures.lowest_total = total;
        if (figures.total_lines == 0 || total > figures.highest_total)
            figures.highest_total = total;
        figures.latest_total = total;
        ++figures.total_lines;
    };
    edges.lines = walk_lines(reader, period, quality, on_line, lines_before, to);
    edges.last_bits = previous;
    const auto tones = static_cast<std::size_t>(figures.tones);
    for (std::size_t column = 0; column < columns && tones > 0; ++column) {
        for (std::size_t tone = 0; tone < tones; ++tone) {
            std::int64_t& count = figures.heat_counts[column * tones + tone];
            count = heat_lines[column] - count;
        }
    }
    for (std::int32_t& lowest : figures.lowest) lowest = lowest == never_lowest ? -1 : lowest;
}

void join_buckets(BucketValues& earlier, const BucketValues& later) {
    if (later.count == 0) return;
    if (earlier.count == 0) {
        earlier = later;
        return;
    }
    earlier.sum += later.sum;
    earlier.count += later.count;
    earlier.lowest = std::min(earlier.lowest, later.lowest);
    earlier.highest = std::max(earlier.highest, later.highest);
}

// The figures of the part of the log that follows `earlier`'s, added to them.
void join_parts(BinsFigures& earlier, PartEdges& earlier_edges, const BinsFigures& later,
                const PartEdges& later_edges) {
    LogQuality& quality = earlier.quality;
    quality.data_lines += later.quality.data_lines;
    quality.unreadable_stamps += later.quality.unreadable_stamps;
    if (quality.first_unreadable_line == 0 && later.quality.first_unreadable_line > 0)
        quality.first_unreadable_line = earlier_edges.lines + later.quality.first_unreadable_line;
    quality.unfinished_last_line =
        quality.unfinished_last_line || later.quality.unfinished_last_line;
    quality.outside_period += later.quality.outside_period;
    quality.not_numbers += later.quality.not_numbers;
    earlier.spacings.join(later.spacings);
    const std::size_t tones = earlier.lowest.size();
    const bool seam = !earlier_edges.last_bits.empty() && !later_edges.first_bits.empty();
    for (std::size_t tone = 0; tone < tones && later.lowest.size() == tones; ++tone) {
        if (later.lowest[tone] >= 0)
            earlier.lowest[tone] = earlier.lowest[tone] < 0
                                       ? later.lowest[tone]
                                       : std::min(earlier.lowest[tone], later.lowest[tone]);
        earlier.highest[tone] = std::max(earlier.highest[tone], later.highest[tone]);
        if (later.latest[tone] >= 0) earlier.latest[tone] = later.latest[tone];
        earlier.changes[tone] += later.changes[tone];
        const std::int32_t before = seam ? earlier_edges.last_bits[tone] : -1;
        const std::int32_t after = seam ? later_edges.first_bits[tone] : -1;
        if (before >= 0 && after >= 0 && before != after) ++earlier.changes[tone];
    }
    for (std::size_t cell = 0; cell < earlier.heat_sums.size() && cell < later.heat_sums.size();
         ++cell) {
        earlier.heat_sums[cell] += later.heat_sums[cell];
        earlier.heat_counts[cell] += later.heat_counts[cell];
    }
    for (std::size_t bucket = 0; bucket < earlier.total_buckets.size(); ++bucket)
        join_buckets(earlier.total_buckets[bucket], later.total_buckets[bucket]);
    if (later.total_lines > 0) {
        earlier.lowest_total = earlier.total_lines == 0
                                   ? later.lowest_total
                                   : std::min(earlier.lowest_total, later.lowest_total);
        earlier.highest_total = earlier.total_lines == 0
                                    ? later.highest_total
                                    : std::max(earlier.highest_total, later.highest_total);
        earlier.latest_total = later.latest_total;
        earlier.total_lines += later.total_lines;
    }
    earlier.totals_from_tones += later.totals_from_tones;
    for (const auto& [columns, lines] : later_edges.column_counts)
        earlier_edges.column_counts[columns] += lines;
    if (earlier_edges.first_columns == 0) earlier_edges.first_columns = later_edges.first_columns;
}

// The usual column count is the first line's; the lines with another count are the rest.
void count_other_columns(LogQuality& quality, const PartEdges& edges) {
    quality.usual_columns = edges.first_columns;
    quality.other_column_count = 0;
    for (const auto& [columns, lines] : edges.column_counts)
        if (columns != edges.first_columns) quality.other_column_count += lines;
}

}  // namespace

LogRead read_bins(const std::string& path, const ReportPeriod& period, BinsFigures& figures,
                  std::atomic<std::int64_t>* bytes_read, std::int64_t split_at) {
    LineReader reader(path, bytes_read);
    LogHead head;
    bool frequencies_read = false;
    const LogRead result = walk_head(
        reader, figures.quality, [&](std::string_view header) { read_header(header, figures); },
        [&](std::string_view line) {
            if (frequencies_read) return false;
            frequencies_read = true;
            return read_frequency_row(line, figures);
        },
        head);
    if (result != LogRead::read) return result;
    if (split_at < 0) {
        // The bins log is the larger log by far: from this size on, its second half is read on a
        // thread of its own, by a reader that starts at the line after the middle.
        constexpr std::int64_t split_from_bytes = std::int64_t{64} << 20;
        std::error_code error;
        const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path, error));
        split_at = !error && size >= split_from_bytes ? size / 2 : 0;
    }
    PartEdges edges;
    if (split_at == 0) {
        read_part(reader, period, figures, head.lines, INT64_MAX, edges);
        count_other_columns(figures.quality, edges);
        return result;
    }
    // The second part starts with the header's figures and the first line at or after the split.
    const std::int64_t from = std::max(split_at, head.data_offset);
    BinsFigures later = figures;
    PartEdges later_edges;
    reader.count_bytes_before(from);
    std::future<void> later_read = std::async(std::launch::async, [&] {
        LineReader second(path, bytes_read);
        second.start_at_line(from);
        read_part(second, period, later, 0, INT64_MAX, later_edges);
    });
    read_part(reader, period, figures, head.lines, from, edges);
    later_read.get();
    join_parts(figures, edges, later, later_edges);
    count_other_columns(figures.quality, edges);
    return result;
}
