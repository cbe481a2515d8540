// Reads the bins log into its aggregates.
#include "report/read_bins.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "report/log_reading.h"
#include "report/tone_parts.h"

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

// Reads the data lines of one part of the log into `figures`, whose header fields are set.
//
// The loading of a line rarely changes from one collection to the next, so most lines equal the
// one before after their stamp. Such a line changes no tone's lowest, highest or latest bits nor
// its changes: it is matched with one comparison and only counted, and its bits go to the heat
// map once for the whole run of equal lines in one heat column (integers: the sums are exact).
class PartReader {
  public:
    PartReader(const ReportPeriod& period, BinsFigures& figures, PartEdges& edges)
        : period_(period),
          figures_(figures),
          edges_(edges),
          tones_(static_cast<std::size_t>(figures.tones)),
          heat_lines_(static_cast<std::size_t>(period.heat.count)) {
        const auto columns = static_cast<std::size_t>(period.heat.count);
        figures.total_buckets.assign(static_cast<std::size_t>(period.buckets.count), {});
        figures.heat_sums.assign(columns * tones_, 0);
        figures.heat_counts.assign(columns * tones_, 0);
        figures.lowest.assign(tones_, never_lowest);
        bits_.assign(tones_, -1);
        previous_.assign(tones_, -1);
    }

    void line(std::string_view line, WallMinute stamp) {
        figures_.spacings.add(stamp);
        const auto heat_column = static_cast<std::size_t>(period_.heat.index(stamp));
        ++heat_lines_[heat_column];
        // line_stamp took the first 14 bytes as the stamp: the rest alone makes the figures.
        const std::string_view values = line.substr(stamp_bytes);
        if (have_last_ && values == last_values_) {
            if (heat_column != repeats_column_) add_repeats_to_heat();
            ++repeats_;
            figures_.quality.not_numbers += last_not_numbers_;
        } else {
            add_repeats_to_heat();
            read_values(line, heat_column);
            last_values_.assign(values);
            have_last_ = true;
        }
        repeats_column_ = heat_column;
        ++*column_count_;
        if (last_total_from_tones_) ++figures_.totals_from_tones;
        if (last_total_ >= 0) add_total(stamp, last_total_);
    }

    // After the part's last line.
    void finish() {
        add_repeats_to_heat();
        edges_.last_bits = previous_;
        const auto columns = static_cast<std::size_t>(period_.heat.count);
        for (std::size_t column = 0; column < columns && tones_ > 0; ++column) {
            for (std::size_t tone = 0; tone < tones_; ++tone) {
                std::int64_t& count = figures_.heat_counts[column * tones_ + tone];
                count = heat_lines_[column] - count;
            }
        }
        for (std::int32_t& lowest : figures_.lowest) lowest = lowest == never_lowest ? -1 : lowest;
    }

  private:
    static constexpr std::size_t stamp_bytes = 14;

    // A line unlike the one before: its values into bits_ first, then the tones' figures in
    // loops of their own, free of branches, which the compiler turns into vector instructions.
    void read_values(std::string_view line, std::size_t heat_column) {
        FieldCursor fields(line);
        std::string_view field;
        std::size_t k = 0;
        while (k < stamp_columns && fields.next(field)) ++k;
        std::size_t read = 0;  // the tones this line has a field for
        std::int32_t number = 0;
        std::int32_t* const line_bits = bits_.data();
        if (k == stamp_columns) {
            for (; read < tones_ && fields.next(field, number); ++read)
                line_bits[read] = number <= max_tone_bits ? number : -1;  // -1: not a bit count
        }
        k += read;
        std::string_view total_field;
        const bool has_total = k == stamp_columns + tones_ && fields.next(total_field);
        if (has_total) {
            ++k;
            while (fields.next(field)) ++k;
        }

        // Plain pointers: stores through them cannot move the vectors, so the loop keeps them in
        // registers instead of reloading each vector's data at every tone.
        const std::size_t heat_row = heat_column * tones_;
        std::int32_t* const lowest = figures_.lowest.data();
        std::int32_t* const highest = figures_.highest.data();
        std::int32_t* const latest = figures_.latest.data();
        const std::int32_t* const before = previous_.data();
        std::int64_t* const changes = figures_.changes.data();
        std::int64_t* const heat_sums = figures_.heat_sums.data() + heat_row;
        std::int64_t* const heat_missing = figures_.heat_counts.data() + heat_row;
        // Two loops of few arrays each: few enough that the compiler checks at run time that
        // they do not overlap, and then uses vector instructions.
        for (std::size_t tone = 0; tone < read; ++tone) {
            const std::int32_t bits = line_bits[tone];
            const bool valid = bits >= 0;
            lowest[tone] = std::min(lowest[tone], valid ? bits : never_lowest);
            highest[tone] = std::max(highest[tone], bits);  // -1 is never above it
            latest[tone] = valid ? bits : latest[tone];
        }
        std::int64_t not_numbers = 0;
        std::int64_t tones_sum = 0;
        for (std::size_t tone = 0; tone < read; ++tone) {
            const std::int32_t bits = line_bits[tone];
            const std::int32_t valid = bits >= 0 ? 1 : 0;
            const std::int32_t value = valid != 0 ? bits : 0;
            tones_sum += value;
            // & rather than &&: a branch would keep the loop from vector instructions.
            changes[tone] += valid & (before[tone] >= 0 ? 1 : 0) & (before[tone] != bits ? 1 : 0);
            heat_sums[tone] += value;
            heat_missing[tone] += 1 - valid;
            not_numbers += 1 - valid;
        }
        // A short line: its missing tones break no run of changes and add nothing to the heat map.
        for (std::size_t tone = read; tone < tones_; ++tone) {
            line_bits[tone] = -1;
            ++heat_missing[tone];
        }
        figures_.quality.not_numbers += not_numbers;
        last_not_numbers_ = not_numbers;
        previous_.swap(bits_);

        // The total, or in an older layout the last tone glued to it (or left out).
        std::int64_t total = -1;
        if (has_total) {
            if (figures_.tones >= current_tone_count) {
                if (std::int64_t value = 0; whole_number(total_field, value)) total = value;
            } else {
                total = glued_total(total_field, tones_sum);
            }
        }
        last_total_from_tones_ = total < 0 && has_total && figures_.tones < current_tone_count;
        if (last_total_from_tones_) total = tones_sum;
        last_total_ = total;
        if (edges_.first_bits.empty()) edges_.first_bits = previous_;
        const auto line_columns = static_cast<std::int32_t>(k);
        if (edges_.first_columns == 0) edges_.first_columns = line_columns;
        if (line_columns != counted_columns_) {  // the usual line finds its count at hand
            counted_columns_ = line_columns;
            column_count_ = &edges_.column_counts[line_columns];
        }
    }

    // The lines that repeated the last line read, into the heat column they fell in.
    void add_repeats_to_heat() {
        if (repeats_ == 0) return;
        std::int64_t* const heat_sums = figures_.heat_sums.data() + repeats_column_ * tones_;
        std::int64_t* const heat_missing = figures_.heat_counts.data() + repeats_column_ * tones_;
        for (std::size_t tone = 0; tone < tones_; ++tone) {
            if (previous_[tone] >= 0)
                heat_sums[tone] += repeats_ * previous_[tone];
            else
                heat_missing[tone] += repeats_;
        }
        repeats_ = 0;
    }

    void add_total(WallMinute stamp, std::int64_t total) {
        figures_.total_buckets[static_cast<std::size_t>(period_.buckets.index(stamp))].add(
            static_cast<double>(total));
        if (figures_.total_lines == 0 || total < figures_.lowest_total)
            figures_.lowest_total = total;
        if (figures_.total_lines == 0 || total > figures_.highest_total)
            figures_.highest_total = total;
        figures_.latest_total = total;
        ++figures_.total_lines;
    }

    const ReportPeriod& period_;
    BinsFigures& figures_;
    PartEdges& edges_;
    const std::size_t tones_;
    std::vector<std::int32_t> bits_;      // the line being read, -1 for a value that is no number
    std::vector<std::int32_t> previous_;  // the same for the last line read
    // While reading, heat_counts holds the values each cell misses, and the lines of each column
    // are counted here: the usual line then touches two arrays less per tone.
    std::vector<std::int64_t> heat_lines_;
    // The last line read, after its stamp, and what it gave.
    std::string last_values_;
    bool have_last_ = false;
    std::int64_t last_not_numbers_ = 0;
    std::int64_t last_total_ = -1;
    bool last_total_from_tones_ = false;
    std::int32_t counted_columns_ = -1;
    std::int64_t* column_count_ = nullptr;
    // The lines since the last line read that equal it, not yet in the heat map: all in one column.
    std::int64_t repeats_ = 0;
    std::size_t repeats_column_ = 0;
};

// Reads the data lines from the reader's place up to the first that starts at `to`; lines are
// numbered on from `lines_before`.
void read_part(LineReader& reader, const ReportPeriod& period, BinsFigures& figures,
               std::int64_t lines_before, std::int64_t to, PartEdges& edges) {
    PartReader part(period, figures, edges);
    edges.lines = walk_lines(
        reader, period, figures.quality,
        [&](std::string_view line, WallMinute stamp) { part.line(line, stamp); }, lines_before, to);
    part.finish();
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
    join_tone_bits(earlier, later, earlier_edges.last_bits, later_edges.first_bits);
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
    // The bins log is the larger log by far: a large one's second half is read on a thread of
    // its own, by a reader that starts at the line after the middle.
    split_at = split_offset(path, split_at);
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
