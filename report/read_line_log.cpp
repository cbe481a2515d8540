// Reads the line log into its aggregates: columns found by the header's names, counters' growth
// summed across retrains, the retrains themselves, and the figures per time bucket.
#include "report/read_line_log.h"

#include <array>
#include <bit>
#include <cstring>

#include "report/hour_sums.h"
#include "runtime/text.h"

namespace {

// The columns the report reads; a log without one of them simply has no such figure.
struct LineColumns {
    int state = -1, mode = -1, profile = -1, tones = -1;
    std::array<int, 2> rate{-1, -1}, attainable{-1, -1}, snr_margin{-1, -1};
    std::array<std::array<int, 2>, line_counters> counters{};
};

// More than the log's 28 columns, so a later version's extra columns are read past, not cut.
constexpr std::size_t most_columns = 64;

// The fields of one line, as places in it (left uninitialised beyond the count: a line is
// split half a million times a year, and clearing 64 views each time costs more than splitting).
struct LineFields {
    const char* line;
    std::size_t count = 0;
    std::array<std::uint32_t, most_columns + 1> starts;  // field k is starts[k]..starts[k+1]-1

    std::string_view operator[](std::size_t k) const {
        return {line + starts[k], starts[k + 1] - starts[k] - 1};
    }
};

// The bytes of `word` that equal `byte`, as the top bit of each (exact: no borrow between bytes).
std::uint64_t bytes_equal(std::uint64_t word, char byte) {
    constexpr std::uint64_t low7 = 0x7f7f7f7f7f7f7f7fULL;
    const std::uint64_t x = word ^ (0x0101010101010101ULL * static_cast<unsigned char>(byte));
    return ~(((x & low7) + low7) | x | low7);
}

// The fields of a line with no quote in it, its commas found eight bytes at a time.
std::size_t split_plain(std::string_view line, LineFields& fields) {
    const auto size = static_cast<std::uint32_t>(line.size());
    std::uint32_t count = 0;
    std::uint32_t at = 0;
    for (; std::endian::native == std::endian::little && at + 8 <= size; at += 8) {
        // Little-endian (x86, ARM): the lowest bit set is the first comma in memory.
        for (std::uint64_t commas = bytes_equal(word_at(line.data() + at), ',');
             commas != 0 && count < most_columns; commas &= commas - 1)
            fields.starts[++count] =
                at + static_cast<std::uint32_t>(std::countr_zero(commas)) / 8 + 1;
    }
    for (; at < size && count < most_columns; ++at)
        if (line[at] == ',') fields.starts[++count] = at + 1;
    if (count < most_columns) fields.starts[++count] = size + 1;  // the last field's end
    return count;
}

// The fields of a line: plain ones split at commas; a field in double quotes (a router's text
// that held a comma or a quote) taken whole, its quotes left in place. Gives the field count.
std::size_t split_fields(std::string_view line, LineFields& fields) {
    fields.line = line.data();
    fields.starts[0] = 0;
    if (std::memchr(line.data(), '"', line.size()) == nullptr)
        return fields.count = split_plain(line, fields);
    const auto size = static_cast<std::uint32_t>(line.size());
    std::uint32_t count = 0;
    std::uint32_t at = 0;
    while (count < most_columns) {
        if (at < size && line[at] == '"') {  // to the closing quote; a doubled one is text
            for (++at; at < size; ++at) {
                if (line[at] != '"') continue;
                if (at + 1 < size && line[at + 1] == '"') {
                    ++at;
                    continue;
                }
                ++at;
                break;
            }
        }
        while (at < size && line[at] != ',') ++at;
        fields.starts[++count] = at + 1;  // the field's end, plus its comma
        if (at >= size) break;
        ++at;
    }
    fields.count = count;
    return count;
}

// A quoted field's text: the quotes taken off and doubled quotes made single again.
std::string field_text(std::string_view field) {
    if (field.size() < 2 || field.front() != '"' || field.back() != '"') return std::string(field);
    std::string text;
    for (std::size_t k = 1; k + 1 < field.size(); ++k) {
        text.push_back(field[k]);
        if (field[k] == '"' && field[k + 1] == '"') ++k;
    }
    return text;
}

LineColumns columns_named(std::string_view header, LogQuality& quality) {
    LineFields names;
    const std::size_t count = split_fields(header, names);
    quality.header_columns = static_cast<std::int32_t>(count);
    LineColumns columns;
    for (auto& counter : columns.counters) counter = {-1, -1};
    static constexpr std::array<std::string_view, 2> ends = {"Down", "Up"};
    const auto is = [](std::string_view name, std::string_view start, std::string_view end) {
        return name.size() == start.size() + end.size() && name.starts_with(start) &&
               name.ends_with(end);
    };
    for (std::size_t k = 0; k < count; ++k) {
        const std::string_view name = names[k];
        const int at = static_cast<int>(k);
        if (name == "State") columns.state = at;
        if (name == "Mode") columns.mode = at;
        if (name == "Profile") columns.profile = at;
        if (name == "Tones") columns.tones = at;
        for (int d = 0; d < 2; ++d) {
            const std::string_view end = ends[static_cast<std::size_t>(d)];
            if (is(name, "Rate", end)) columns.rate[static_cast<std::size_t>(d)] = at;
            if (is(name, "Attainable", end)) columns.attainable[static_cast<std::size_t>(d)] = at;
            if (is(name, "SNRMargin", end)) columns.snr_margin[static_cast<std::size_t>(d)] = at;
            for (std::size_t c = 0; c < line_counters; ++c)
                if (is(name, line_counter_names[c], end))
                    columns.counters[c][static_cast<std::size_t>(d)] = at;
        }
    }
    return columns;
}

// Reads the log line by line; one object a read, holding what one line needs of the one before.
class LineLogReader {
  public:
    LineLogReader(const ReportPeriod& period, LineLogFigures& figures)
        : period_(period), figures_(figures) {
        const auto buckets = static_cast<std::size_t>(period.buckets.count);
        for (LineDirection& direction : figures.directions) {
            direction.counter_buckets.assign(buckets, {});
            direction.rate_buckets.assign(buckets, {});
            direction.attainable_buckets.assign(buckets, {});
            direction.snr_margin_buckets.assign(buckets, {});
        }
        figures.retrain_buckets.assign(buckets, 0);
        figures.showtime_per_bucket.assign(buckets, 0);
        figures.collections_per_bucket.assign(buckets, 0);
        for (auto& direction : last_counts_) direction.fill(-1);
    }

    void header(std::string_view line) { columns_ = columns_named(line, figures_.quality); }

    void line(std::string_view line, WallMinute stamp, std::int32_t utc_offset) {
        LineFields fields;
        const std::size_t count = split_fields(line, fields);
        LogQuality& quality = figures_.quality;
        const auto columns = static_cast<std::int32_t>(count);
        if (quality.usual_columns == 0) quality.usual_columns = columns;
        if (columns != quality.usual_columns) ++quality.other_column_count;
        const auto field = [&](int column) {
            return column >= 0 && static_cast<std::size_t>(column) < count
                       ? fields[static_cast<std::size_t>(column)]
                       : std::string_view();
        };

        if (collections_ > 0 && utc_offset != utc_offset_) {
            ++figures_.clock_changes;
            figures_.spacings.add_after_clock_change(stamp);
        } else {
            figures_.spacings.add(stamp);
        }
        utc_offset_ = utc_offset;
        const auto bucket = static_cast<std::size_t>(period_.buckets.index(stamp));
        ++figures_.collections_per_bucket[bucket];

        const std::string_view state = field(columns_.state);
        if (state != last_state_) {
            last_state_.assign(state);
            showtime_now_ = contains_ignoring_case(state, "showtime");
        }
        const bool showtime = showtime_now_;
        if (showtime) {
            ++figures_.showtime;
            ++figures_.showtime_per_bucket[bucket];
        } else {
            ++figures_.not_showtime;
        }
        keep_text(field(columns_.mode), figures_.mode);
        keep_text(field(columns_.profile), figures_.profile);
        if (std::int64_t tones = 0;
            whole_number(field(columns_.tones), tones) && tones >= 0 && tones <= INT32_MAX)
            figures_.tones = static_cast<std::int32_t>(tones);

        // The counters first, to know whether any fell: then the line retrained between the
        // two collections, and every counter counts from 0 again, also one that did not fall
        // (the unavailable seconds of the retrain can outgrow the old link's).
        std::array<std::array<std::int64_t, line_counters>, 2> values;
        bool fell = false;
        for (std::size_t d = 0; d < 2; ++d) {
            for (std::size_t c = 0; c < line_counters; ++c) {
                const std::string_view text = field(columns_.counters[c][d]);
                std::int64_t& value = values[d][c];
                value = -1;
                if (text.empty()) continue;
                if (!whole_number(text, value) || value < 0) {
                    value = -1;
                    ++quality.not_numbers;
                    continue;
                }
                const std::int64_t before = last_counts_[d][c];
                fell = fell || (before >= 0 && value < before);
            }
        }
        fell = fell && was_showtime_ && showtime;
        const CounterStep step = !showtime && was_showtime_             ? CounterStep::went_down
                                 : fell || (showtime && !was_showtime_) ? CounterStep::new_link
                                                                        : CounterStep::same_link;
        std::int64_t crc_growth = 0;
        for (std::size_t d = 0; d < 2; ++d) {
            LineDirection& direction = figures_.directions[d];
            if (showtime) {
                add_figure(field(columns_.rate[d]), direction.rate, direction.rate_buckets[bucket]);
                add_figure(field(columns_.attainable[d]), direction.attainable,
                           direction.attainable_buckets[bucket]);
                add_figure(field(columns_.snr_margin[d]), direction.snr_margin,
                           direction.snr_margin_buckets[bucket]);
            }
            for (std::size_t c = 0; c < line_counters; ++c) {
                const std::int64_t value = values[d][c];
                if (value < 0) continue;
                std::int64_t& before = last_counts_[d][c];
                const std::int64_t growth = counter_growth(before, value, step);
                before = value;
                direction.sums[c] = saturated_sum(direction.sums[c], growth);
                std::int64_t& in_bucket = direction.counter_buckets[bucket][c];
                in_bucket = saturated_sum(in_bucket, growth);
                if (c == line_crc) crc_growth = saturated_sum(crc_growth, growth);
            }
        }
        crc_hours_.add(stamp, crc_growth);
        const bool went_down = collections_ > 0 && was_showtime_ && !showtime;
        if (went_down || fell) {
            ++figures_.retrain_count;
            ++figures_.retrain_buckets[bucket];
            if (figures_.retrains.size() < most_listed_retrains)
                figures_.retrains.push_back({stamp, went_down});
        }
        was_showtime_ = showtime;
        ++collections_;
    }

    void finish() { crc_hours_.worst(figures_.worst_crc_hour, figures_.worst_crc_errors); }

  private:
    void add_figure(std::string_view text, FigureRange& range, BucketValues& bucket) {
        if (text.empty()) return;
        double value = 0;
        if (std::int64_t whole = 0; whole_number(text, whole)) {  // the rates: no decimals
            value = static_cast<double>(whole);
        } else if (!leading_number(text, value)) {
            ++figures_.quality.not_numbers;
            return;
        }
        range.add(value);
        bucket.add(value);
    }
    static void keep_text(std::string_view field, std::string& kept) {
        if (field.empty()) return;
        if (field.front() == '"') {
            kept = field_text(field);
        } else if (field != kept) {
            kept.assign(field);
        }
    }

    const ReportPeriod& period_;
    LineLogFigures& figures_;
    LineColumns columns_;
    std::string last_state_ = "\x01";  // no state seen yet: the first line reads its own
    bool showtime_now_ = false;
    bool was_showtime_ = false;
    std::array<std::array<std::int64_t, line_counters>, 2> last_counts_{};
    std::int32_t utc_offset_ = 0;
    std::int64_t collections_ = 0;
    HourSums crc_hours_;
};

}  // namespace

WallMinute line_log_stamp(std::string_view line) {
    std::int32_t offset = 0;
    const std::size_t comma = line.find(',');
    return read_line_stamp(line.substr(0, comma), offset);
}

std::int64_t counter_growth(std::int64_t before, std::int64_t now, CounterStep step) {
    if (before < 0 || step == CounterStep::went_down) return 0;
    if (step == CounterStep::new_link) return now;
    return now >= before ? now - before : now;
}

LogRead read_line_log(const std::string& path, const ReportPeriod& period, LineLogFigures& figures,
                      std::atomic<std::int64_t>* bytes_read) {
    LineLogReader reader(period, figures);
    LineReader lines(path, bytes_read);
    LogHead head;
    const LogRead result = walk_head(
        lines, figures.quality, [&](std::string_view header) { reader.header(header); },
        [](std::string_view) { return false; }, head, line_log_header_start);
    if (result != LogRead::read) return result;
    std::int32_t utc_offset = 0;
    LineStampReader stamps;
    const auto stamp_of = [&](std::string_view line) {
        const std::size_t comma = line.find(',');
        return stamps.read(line.substr(0, comma), utc_offset);
    };
    walk_lines(
        lines, period, figures.quality,
        [&](std::string_view line, WallMinute stamp) { reader.line(line, stamp, utc_offset); },
        head.lines, INT64_MAX, stamp_of);
    reader.finish();
    return result;
}
