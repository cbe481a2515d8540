// Reads the tones log into its aggregates. The loading of every collection is rebuilt as the log
// says (the latest bits line with each bitswap line after it applied in order), but the figures
// are touched only where a tone changes: the heat map's sums are added when a tone's bits change
// or its heat column ends, so a bitswap line costs its few fields, not the line's 4096 tones.
#include "report/read_tones_log.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <future>
#include <limits>

#include "report/log_reading.h"
#include "report/read_line_log.h"
#include "report/tone_parts.h"

namespace {

constexpr std::string_view tones_header_start = "Time,Kind,";
constexpr float no_snr = std::numeric_limits<float>::quiet_NaN();
// Far above any tone's 15 bits, far below an overflow: more is not a bit count.
constexpr std::int32_t most_tone_bits = 32767;
constexpr std::int32_t most_tones = 1 << 16;

enum class Kind { header, bits, bitswap, snr, other };

// The line's kind and, in `rest`, the fields after it.
Kind kind_of(std::string_view line, std::string_view& rest) {
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) return Kind::other;
    std::string_view after = line.substr(comma + 1);
    const std::size_t end = after.find(',');
    const std::string_view kind = after.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : after.substr(end + 1);
    if (kind == "bits") return Kind::bits;
    if (kind == "bitswap") return Kind::bitswap;
    if (kind == "snr") return Kind::snr;
    return Kind::other;
}

// The fields of a line's rest.
std::int64_t count_fields(std::string_view rest) {
    return rest.empty() ? 0 : 1 + std::count(rest.begin(), rest.end(), ',');
}

// An SNR while reading, in tenths of a dB, and none.
constexpr std::int16_t no_tenths = INT16_MIN;
float decibels_of(std::int16_t tenths) {
    return tenths == no_tenths ? no_snr : static_cast<float>(tenths) / 10;
}

// A lowest SNR while reading where there is none yet: above every value.
constexpr std::int16_t no_lowest = INT16_MAX;

// The SNR field at the start of `word` (the next 8 bytes of the line) in the collector's own
// form, "dd.d" or "d.d" and its comma, as tenths of a dB; gives the field's length, or 0 when
// it is not of that form (then `tenths` is left as it is). The bytes are checked together: their
// high nibbles 3 where digits stand, their low nibbles at most 9, the point and the comma.
int decibel_field(std::uint64_t word, int& tenths) {
    constexpr std::uint64_t high = 0xF0F0F0F0F0F0F0F0ULL, threes = 0x3030303030303030ULL;
    constexpr std::uint64_t low = 0x0F0F0F0F0F0F0F0FULL, sixes = 0x0606060606060606ULL;
    constexpr std::uint64_t tens = 0x1010101010101010ULL;
    const auto byte = [&](int k) { return static_cast<int>((word >> (8 * k)) & 0xFF); };
    const auto digits_at = [&](std::uint64_t mask) {
        return (word & high & mask) == (threes & mask) &&
               (((word & low) + sixes) & tens & mask) == 0;
    };
    if constexpr (std::endian::native != std::endian::little) return 0;
    if (byte(2) == '.' && byte(4) == ',' && digits_at(0x00000000FF00FFFFULL)) {
        tenths = (byte(0) - '0') * 100 + (byte(1) - '0') * 10 + (byte(3) - '0');
        return 4;
    }
    if (byte(1) == '.' && byte(3) == ',' && digits_at(0x0000000000FF00FFULL)) {
        tenths = (byte(0) - '0') * 10 + (byte(2) - '0');
        return 3;
    }
    return 0;
}

bool is_digit(char c) {
    return static_cast<unsigned>(c - '0') <= 9;
}

// A whole number of 1 to 5 digits from `at` up to `stop` or the end; `at` is left after it.
// -1 when the text there is not one (then `at` is left at the stop, or at the end).
std::int32_t small_number(const char*& at, const char* end, char stop) {
    std::int32_t value = 0;
    const char* const start = at;
    for (; at != end && *at != stop; ++at) {
        const auto digit = static_cast<unsigned>(*at - '0');
        if (digit > 9 || at - start >= 5) {
            while (at != end && *at != stop) ++at;
            return -1;
        }
        value = value * 10 + static_cast<std::int32_t>(digit);
    }
    return at == start ? -1 : value;
}

// A decibel figure such as "45.3", "-2" or "7.25"; NaN when the field is empty or not one.
float decibels(const char*& at, const char* end) {
    bool negative = false;
    if (at != end && *at == '-') {
        negative = true;
        ++at;
    }
    std::int32_t whole = 0, digits = 0, fraction = 0, scale = 1;
    bool bad = false;
    for (; at != end && *at != ',' && *at != '.'; ++at, ++digits) {
        const auto digit = static_cast<unsigned>(*at - '0');
        bad = bad || digit > 9 || digits >= 6;
        if (!bad) whole = whole * 10 + static_cast<std::int32_t>(digit);
    }
    if (at != end && *at == '.') {
        for (++at; at != end && *at != ','; ++at) {
            const auto digit = static_cast<unsigned>(*at - '0');
            bad = bad || digit > 9;
            if (scale < 100000) {
                fraction = fraction * 10 + static_cast<std::int32_t>(digit);
                scale *= 10;
            }
        }
    }
    if (bad || digits == 0) return no_snr;
    const float value = static_cast<float>(whole) + static_cast<float>(fraction) / scale;
    return negative ? -value : value;
}

// What a part's reader keeps beside its figures, to join them to the part before it.
struct PartEdges {
    std::int32_t first_tones = 0;          // the tone count it began with; 0 before any
    bool count_changed = false;            // the tone count changed within the part
    std::vector<std::int32_t> first_bits;  // the first bits line's, when the part began with one
    std::vector<std::int32_t> last_bits;   // the loading at its end; empty when none
    std::int32_t first_offset = 0, last_offset = 0;
    std::int64_t lines = 0;  // the number of its last line, counted from its start
};

// Whether the part after `earlier` read its tones as one reading from the start would have: its
// first bits line has the tone count the earlier part ended with (one of another count, which
// only a broken log has, is read by the count before it).
bool joins(const TonesLogFigures& earlier, const PartEdges& later_edges) {
    return later_edges.first_tones == earlier.tones;
}

class TonesReader {
  public:
    TonesReader(const ReportPeriod& period, TonesLogFigures& figures, PartEdges& edges)
        : period_(period), figures_(figures), edges_(edges) {}

    // A header line: its tone count, which may start a new count.
    void header(std::string_view line) {
        std::string_view rest;
        kind_of(line, rest);
        set_tone_count(count_fields(rest));
    }

    void line(std::string_view line, WallMinute stamp, std::int32_t utc_offset) {
        std::string_view rest;
        const Kind kind = kind_of(line, rest);
        if (kind == Kind::snr) {
            snr_line(rest);
            return;
        }
        if (kind != Kind::bits && kind != Kind::bitswap) {
            ++figures_.other_kinds;
            return;
        }
        if (collections_ == 0) edges_.first_offset = utc_offset;
        if (collections_ > 0 && utc_offset != edges_.last_offset) {
            ++figures_.clock_changes;
            figures_.spacings.add_after_clock_change(stamp);
        } else {
            figures_.spacings.add(stamp);
        }
        edges_.last_offset = utc_offset;
        ++collections_;
        const std::int32_t column = period_.heat.index(stamp);
        if (column != heat_column_) {
            end_heat_column();
            heat_column_ = column;
        }
        if (kind == Kind::bits)
            bits_line(rest);
        else
            bitswap_line(rest);
        ++in_column_;
    }

    void finish() {
        end_heat_column();
        figures_.latest = bits_;
        edges_.last_bits = loaded_ ? bits_ : std::vector<std::int32_t>();
        for (std::size_t tone = 0; tone < snr_latest_.size(); ++tone) {
            figures_.snr_latest[tone] = decibels_of(snr_latest_[tone]);
            figures_.snr_lowest[tone] =
                decibels_of(snr_lowest_[tone] == no_lowest ? no_tenths : snr_lowest_[tone]);
        }
    }

  private:
    void set_tone_count(std::int64_t count) {
        count = std::clamp<std::int64_t>(count, 0, most_tones);
        const auto tones = static_cast<std::int32_t>(count);
        if (figures_.tones == tones && edges_.first_tones != 0) return;
        if (edges_.first_tones == 0) {
            edges_.first_tones = tones;
        } else {
            ++figures_.tone_count_changes;
            edges_.count_changed = true;
            end_heat_column();
        }
        // The figures of the count before are dropped: the tones are other tones now.
        figures_.tones = tones;
        const auto size = static_cast<std::size_t>(tones);
        figures_.lowest.assign(size, -1);
        figures_.highest.assign(size, -1);
        figures_.latest.assign(size, -1);
        figures_.changes.assign(size, 0);
        figures_.snr_latest.assign(size, no_snr);
        figures_.snr_lowest.assign(size, no_snr);
        snr_latest_.assign(size, no_tenths);
        snr_lowest_.assign(size, no_lowest);
        heat_bits_.assign(size, 0);
        heat_held_.assign(size, 0);
        figures_.tones_per_heat_row = std::max(1, (tones + most_heat_rows - 1) / most_heat_rows);
        figures_.heat_rows =
            (tones + figures_.tones_per_heat_row - 1) / figures_.tones_per_heat_row;
        const auto cells = static_cast<std::size_t>(period_.heat.count) *
                           static_cast<std::size_t>(figures_.heat_rows);
        figures_.heat_sums.assign(cells, 0);
        figures_.heat_counts.assign(cells, 0);
        bits_.assign(size, -1);
        since_.assign(size, 0);
        last_bits_clean_ = false;
        loaded_ = false;
    }

    // The tone's bits from this collection on: the heat map gets the collections it had the old.
    void set_bits(std::size_t tone, std::int32_t bits) {
        std::int32_t& now = bits_[tone];
        if (now == bits) return;
        if (now >= 0) {
            const std::int32_t held = in_column_ - since_[tone];
            heat_bits_[tone] += static_cast<std::int64_t>(now) * held;
            heat_held_[tone] += held;
            if (bits >= 0) ++figures_.changes[tone];
        }
        since_[tone] = in_column_;
        now = bits;
        if (bits < 0) return;
        std::int32_t& lowest = figures_.lowest[tone];
        std::int32_t& highest = figures_.highest[tone];
        if (lowest < 0 || bits < lowest) lowest = bits;
        if (bits > highest) highest = bits;
    }

    void end_heat_column() {
        if (heat_column_ >= 0 && in_column_ > 0) {
            const auto rows = static_cast<std::size_t>(figures_.heat_rows);
            const auto per_row = static_cast<std::size_t>(figures_.tones_per_heat_row);
            const std::size_t first_cell = static_cast<std::size_t>(heat_column_) * rows;
            for (std::size_t row = 0, tone = 0; row < rows; ++row) {
                double sum = 0;
                std::int64_t count = 0;
                for (const std::size_t end = std::min(tone + per_row, bits_.size()); tone < end;
                     ++tone) {
                    const std::int32_t held = bits_[tone] < 0 ? 0 : in_column_ - since_[tone];
                    sum += static_cast<double>(heat_bits_[tone] +
                                               static_cast<std::int64_t>(bits_[tone]) * held);
                    count += heat_held_[tone] + held;
                }
                figures_.heat_sums[first_cell + row] += sum;
                figures_.heat_counts[first_cell + row] += count;
            }
        }
        std::fill(since_.begin(), since_.end(), 0);
        std::fill(heat_bits_.begin(), heat_bits_.end(), 0);
        std::fill(heat_held_.begin(), heat_held_.end(), 0);
        in_column_ = 0;
    }

    void bits_line(std::string_view rest) {
        if (figures_.tones == 0) set_tone_count(count_fields(rest));  // a part began here
        ++figures_.bits_lines;
        const bool first = !loaded_;
        const auto tones = static_cast<std::size_t>(figures_.tones);
        const bool clean = last_bits_clean_ ? read_bits_changes(rest) : read_bits_whole(rest);
        last_bits_clean_ = clean;
        if (clean) last_bits_text_.assign(rest);
        // Held against the loading eight tones at a time: nearly all are as they were.
        const std::int32_t* const values = values_.data();
        const std::int32_t* const loaded = bits_.data();
        for (std::size_t block = 0; block < tones; block += 8) {
            const std::size_t block_end = std::min(block + 8, tones);
            std::int32_t differ = 0;
            for (std::size_t tone = block; tone < block_end; ++tone)
                differ |= values[tone] ^ loaded[tone];
            if (differ == 0) continue;
            for (std::size_t tone = block; tone < block_end; ++tone)
                if (values[tone] != loaded[tone]) set_bits(tone, values[tone]);
        }
        loaded_ = true;
        if (first && edges_.first_bits.empty() && collections_ == 1) edges_.first_bits = bits_;
    }

    // One field of a bits line at `at`, and `at` moved past it and its comma; -1 (counted in
    // `bad`) when it is not a bit count.
    static std::int32_t bits_field(const char*& at, const char* end, std::int64_t& bad) {
        std::int32_t bits = -1;
        if (end - at >= 2 && is_digit(at[0]) && at[1] == ',') {  // the usual fields first
            bits = at[0] - '0';
            at += 2;
        } else if (end - at >= 3 && is_digit(at[0]) && is_digit(at[1]) && at[2] == ',') {
            bits = (at[0] - '0') * 10 + (at[1] - '0');
            at += 3;
        } else {
            bits = small_number(at, end, ',');
            if (at != end) ++at;
        }
        if (bits > most_tone_bits) bits = -1;
        if (bits < 0) ++bad;
        return bits;
    }

    // What the end of a bits line read into values_ says: whether it was whole (every tone and
    // no more) and clean (all numbers), the counts of the data quality kept. Tones the line did
    // not reach keep their loading.
    bool bits_read(std::size_t reached, bool more, std::int64_t bad, std::size_t size) {
        const auto tones = static_cast<std::size_t>(figures_.tones);
        for (std::size_t tone = reached; tone < tones; ++tone) values_[tone] = bits_[tone];
        starts_[tones] = static_cast<std::uint32_t>(size + 1);
        const bool whole = reached == tones && !more;
        if (!whole) ++figures_.quality.other_column_count;
        figures_.quality.not_numbers += bad;
        return whole && bad == 0;
    }

    // A bits line read field by field into values_, with where each field starts.
    bool read_bits_whole(std::string_view rest) {
        const auto tones = static_cast<std::size_t>(figures_.tones);
        values_.resize(tones);
        starts_.resize(tones + 1);
        const char* at = rest.data();
        const char* const end = at + rest.size();
        std::int64_t bad = 0;
        std::size_t tone = 0;
        for (; tone < tones && at != end; ++tone) {
            starts_[tone] = static_cast<std::uint32_t>(at - rest.data());
            values_[tone] = bits_field(at, end, bad);
        }
        return bits_read(tone, at != end, bad, rest.size());
    }

    // A bits line read against the bits line before, which was whole and clean and whose values
    // and field starts values_ and starts_ hold: the hour's bitswap changed a few tones, so the
    // lines' bytes are compared a word at a time and only the fields that differ are read.
    bool read_bits_changes(std::string_view rest) {
        const std::string_view before = last_bits_text_;
        const auto tones = static_cast<std::size_t>(figures_.tones);
        std::uint32_t* const starts = starts_.data();
        std::size_t at = 0;  // where field k starts in this line
        std::size_t tone = 0;
        std::int64_t bad = 0;
        while (tone < tones) {
            const std::size_t from = starts[tone];  // and in the line before
            const std::size_t same = common_prefix(rest.substr(at), before.substr(from));
            const auto shift = static_cast<std::int64_t>(at) - static_cast<std::int64_t>(from);
            // The fields whose bytes and comma are alike in both lines: all to the end, or up to
            // the first field that holds a byte that differs.
            const bool rest_alike = same == before.size() - from && same == rest.size() - at;
            const std::size_t unlike =
                rest_alike ? tones
                           : static_cast<std::size_t>(
                                 std::upper_bound(starts + tone + 1, starts + tones + 1,
                                                  static_cast<std::uint32_t>(from + same)) -
                                 starts - 1);
            const std::size_t next_from = unlike < tones ? starts[unlike] : before.size();
            for (; tone < unlike; ++tone)
                starts[tone] =
                    static_cast<std::uint32_t>(static_cast<std::int64_t>(starts[tone]) + shift);
            at += next_from - from;
            if (tone == tones || at >= rest.size()) break;
            starts[tone] = static_cast<std::uint32_t>(at);
            const char* field = rest.data() + at;
            values_[tone] = bits_field(field, rest.data() + rest.size(), bad);
            at = static_cast<std::size_t>(field - rest.data());
            ++tone;
        }
        return bits_read(tone, at < rest.size(), bad, rest.size());
    }

    void bitswap_line(std::string_view rest) {
        ++figures_.bitswap_lines;
        if (!loaded_) {
            ++figures_.not_rebuilt;
            return;
        }
        const char* at = rest.data();
        const char* const end = at + rest.size();
        const auto tones = static_cast<std::size_t>(figures_.tones);
        while (at != end) {
            const std::int32_t tone = small_number(at, end, ':');
            std::int32_t bits = -1;
            if (at != end && *at == ':') {
                ++at;
                bits = small_number(at, end, ',');
            }
            while (at != end && *at != ',') ++at;
            if (at != end) ++at;
            if (tone < 0 || static_cast<std::size_t>(tone) >= tones || bits < 0 ||
                bits > most_tone_bits) {
                ++figures_.quality.not_numbers;
                continue;
            }
            set_bits(static_cast<std::size_t>(tone), bits);
        }
    }

    void snr_line(std::string_view rest) {
        ++figures_.snr_lines;
        const char* at = rest.data();
        const char* const end = at + rest.size();
        std::int16_t* const latest = snr_latest_.data();
        std::int16_t* const lowest = snr_lowest_.data();
        const auto tones = static_cast<std::size_t>(figures_.tones);
        std::size_t tone = 0;
        for (; tone < tones && at != end; ++tone) {
            int tenths = no_tenths;
            const int length = end - at >= 8 ? decibel_field(word_at(at), tenths) : 0;
            if (length > 0) {  // the collector's own forms, "45.3" and "0.0", read at once
                at += length;
            } else if (*at != ',') {
                const char* const start = at;
                const float value = decibels(at, end);
                if (std::isnan(value) && at != start) ++figures_.quality.not_numbers;
                if (!std::isnan(value))
                    tenths =
                        static_cast<int>(std::lround(std::clamp(value, -3000.0f, 3000.0f) * 10));
                while (at != end && *at != ',') ++at;
            }
            if (at != end) ++at;
            // Broadcom's modems print 0.0 for a tone they do not measure (outside the
            // downstream bands): no reading, not a tone at 0 dB.
            if (tenths == 0) tenths = no_tenths;
            latest[tone] = static_cast<std::int16_t>(tenths);
            lowest[tone] = std::min(
                lowest[tone], static_cast<std::int16_t>(tenths == no_tenths ? no_lowest : tenths));
        }
        std::fill(latest + tone, latest + tones, no_tenths);
    }

    const ReportPeriod& period_;
    TonesLogFigures& figures_;
    PartEdges& edges_;
    std::vector<std::int32_t> bits_;  // the loading rebuilt so far; -1 where unknown
    // The latest bits line's values and where its fields start (one more: its size plus one),
    // and its text while it was whole and clean, to read the next bits line against.
    std::vector<std::int32_t> values_;
    std::vector<std::uint32_t> starts_;
    std::string last_bits_text_;
    bool last_bits_clean_ = false;
    std::vector<std::int32_t> since_;  // the collection of the heat column from which it holds
    // The heat column's bits times collections, and collections, of each tone's earlier values.
    std::vector<std::int64_t> heat_bits_;
    std::vector<std::int32_t> heat_held_;
    // Each tone's SNR in tenths of a dB while reading (the log's one decimal); no_tenths: none.
    std::vector<std::int16_t> snr_latest_, snr_lowest_;
    bool loaded_ = false;  // a bits line has been read for the current count
    std::int32_t heat_column_ = -1;
    std::int32_t in_column_ = 0;  // the collections of the heat column before this one
    std::int64_t collections_ = 0;
};

// Reads the data lines from the reader's place up to the first at `to` into `tones`' figures.
void read_part(LineReader& reader, const ReportPeriod& period, TonesReader& tones,
               LogQuality& quality, std::int64_t lines_before, std::int64_t to, PartEdges& edges) {
    std::int32_t utc_offset = 0;
    LineStampReader stamps;
    const auto stamp_of = [&](std::string_view line) -> WallMinute {
        if (line.starts_with(tones_header_start)) {
            tones.header(line);
            return not_a_collection;
        }
        const std::size_t comma = line.find(',');
        return stamps.read(line.substr(0, comma), utc_offset);
    };
    edges.lines = walk_lines(
        reader, period, quality,
        [&](std::string_view line, WallMinute stamp) { tones.line(line, stamp, utc_offset); },
        lines_before, to, stamp_of);
    tones.finish();
}

// The first line at or after `from` that starts a part by itself, or -1: a bits line that one
// reading would take as a collection (a readable stamp inside the period), so that the part's
// loading is whole from its first line on, as one reading's is there.
std::int64_t part_start(const std::string& path, std::int64_t from, const ReportPeriod& period) {
    LineReader reader(path);
    reader.start_at_line(from);
    std::string_view line, rest;
    LineEnd end;
    while (reader.next(line, end)) {
        if (end != LineEnd::line_feed) return -1;
        if (kind_of(line, rest) != Kind::bits) continue;
        const WallMinute stamp = line_log_stamp(line);
        if (stamp >= 0 && stamp >= period.since && stamp <= period.until)
            return reader.line_offset();
    }
    return -1;
}

// The figures of the part that follows `earlier`'s, added to them.
void join_parts(TonesLogFigures& earlier, PartEdges& earlier_edges, TonesLogFigures& later,
                const PartEdges& later_edges) {
    join_quality(earlier.quality, later.quality, earlier_edges.lines);
    const bool clock_changed = earlier.spacings.collections() > 0 &&
                               later.spacings.collections() > 0 &&
                               earlier_edges.last_offset != later_edges.first_offset;
    earlier.spacings.join(later.spacings, clock_changed);
    earlier.clock_changes += later.clock_changes + (clock_changed ? 1 : 0);
    earlier.bits_lines += later.bits_lines;
    earlier.bitswap_lines += later.bitswap_lines;
    earlier.snr_lines += later.snr_lines;
    earlier.not_rebuilt += later.not_rebuilt;
    earlier.other_kinds += later.other_kinds;
    earlier.tone_count_changes += later.tone_count_changes;
    if (later_edges.first_tones == 0) return;  // nothing of the tones in the later part
    const bool other_count =
        earlier_edges.first_tones != 0 && later_edges.first_tones != earlier.tones;
    if (other_count) ++earlier.tone_count_changes;
    if (other_count || later_edges.count_changed || earlier_edges.first_tones == 0) {
        // The later part's tones are other tones (or the earlier part had none): its figures
        // per tone are the log's.
        earlier.tones = later.tones;
        earlier.lowest = std::move(later.lowest);
        earlier.highest = std::move(later.highest);
        earlier.latest = std::move(later.latest);
        earlier.changes = std::move(later.changes);
        earlier.snr_latest = std::move(later.snr_latest);
        earlier.snr_lowest = std::move(later.snr_lowest);
        earlier.heat_rows = later.heat_rows;
        earlier.tones_per_heat_row = later.tones_per_heat_row;
        earlier.heat_sums = std::move(later.heat_sums);
        earlier.heat_counts = std::move(later.heat_counts);
        if (earlier_edges.first_tones == 0) earlier_edges.first_tones = later_edges.first_tones;
        return;
    }
    join_tone_bits(earlier, later, earlier_edges.last_bits, later_edges.first_bits);
    for (std::size_t tone = 0; tone < earlier.snr_lowest.size(); ++tone)
        if (!std::isnan(later.snr_lowest[tone]) &&
            !(earlier.snr_lowest[tone] <= later.snr_lowest[tone]))
            earlier.snr_lowest[tone] = later.snr_lowest[tone];
    if (later.snr_lines > 0) earlier.snr_latest = later.snr_latest;
    for (std::size_t cell = 0; cell < earlier.heat_sums.size(); ++cell) {
        earlier.heat_sums[cell] += later.heat_sums[cell];
        earlier.heat_counts[cell] += later.heat_counts[cell];
    }
}

}  // namespace

LogRead read_tones_log(const std::string& path, const ReportPeriod& period,
                       TonesLogFigures& figures, std::atomic<std::int64_t>* bytes_read,
                       std::int64_t split_at) {
    LineReader reader(path, bytes_read);
    LogHead head;
    PartEdges edges;
    TonesReader tones(period, figures, edges);
    const LogRead result = walk_head(
        reader, figures.quality, [&](std::string_view line) { tones.header(line); },
        [](std::string_view) { return false; }, head, tones_header_start);
    if (result != LogRead::read) return result;
    // The second part begins at the first bits line after the middle: the loading there needs
    // nothing of the lines before.
    split_at = split_offset(path, split_at);
    const std::int64_t from =
        split_at > 0 ? part_start(path, std::max(split_at, head.data_offset), period) : -1;
    if (from < 0) {
        read_part(reader, period, tones, figures.quality, head.lines, INT64_MAX, edges);
        return result;
    }
    TonesLogFigures later;
    PartEdges later_edges;
    reader.count_bytes_before(from);
    std::future<void> later_read = std::async(std::launch::async, [&] {
        LineReader second(path, bytes_read);
        second.start_at_line(from);
        TonesReader later_tones(period, later, later_edges);
        read_part(second, period, later_tones, later.quality, 0, INT64_MAX, later_edges);
    });
    read_part(reader, period, tones, figures.quality, head.lines, from, edges);
    later_read.get();
    if (!joins(figures, later_edges)) {
        figures = TonesLogFigures();
        return read_tones_log(path, period, figures, bytes_read, 0);
    }
    join_parts(figures, edges, later, later_edges);
    return result;
}
