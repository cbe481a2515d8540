// The Broadcom family's dialog and its readers of xdslctl's replies.
//
// The readers go through a reply once, line by line, as views into it: no copy of a line, no
// allocation but the texts and tables they store. A line is the text before a line feed, less a
// CR before it; text after the last line feed is not read, since the prompt always follows a line
// end and a line without one may be cut inside a figure.
#include "routers/broadcom.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/text.h"

namespace {

constexpr std::array<FamilyCommand, 3> commands = {{
    {"xdslctl info --stats", false, &read_broadcom_stats},
    {"xdslctl info --Bits", false, &read_broadcom_bits},
    {"xdslctl info --SNR", true, &read_broadcom_snr},
}};

// The longest mode text kept; the router's own names are far shorter ("VDSL2 Annex B").
constexpr std::size_t mode_text_limit = 40;
// The longest state text kept ("G.994 Training", "Showtime").
constexpr std::size_t state_text_limit = 40;
// The longest profile name kept ("17a", "35b").
constexpr std::size_t profile_text_limit = 8;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_alnum(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

bool starts_nocase(std::string_view text, std::string_view start) {
    return text.size() >= start.size() && equals_ignoring_case(text.substr(0, start.size()), start);
}

// Where `word` starts in text, compared without regard to case; npos when it is not there.
std::size_t find_nocase(std::string_view text, std::string_view word) {
    if (word.empty() || text.size() < word.size()) return std::string_view::npos;
    for (std::size_t at = 0; at + word.size() <= text.size(); ++at) {
        if (equals_ignoring_case(text.substr(at, word.size()), word)) return at;
    }
    return std::string_view::npos;
}

// Whether a row's label is `name`, with blanks and case not counted ("SNR (dB)" is "snr(db)").
bool label_is(std::string_view label, std::string_view name) {
    std::size_t k = 0;
    for (const char c : label) {
        if (is_blank(c)) continue;
        if (k == name.size() || ascii_lower(c) != name[k]) return false;
        ++k;
    }
    return k == name.size();
}

// Takes the next line off the front of rest; false when no line end is left. See the top of the
// file for what a line is.
bool next_line(std::string_view& rest, std::string_view& line) {
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) return false;
    line = rest.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    rest.remove_prefix(end + 1);
    return true;
}

// The next blank-separated word of text, taken off its front; "" when none is left.
std::string_view next_word(std::string_view& text) {
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    std::size_t end = i;
    while (end < text.size() && !is_blank(text[end])) ++end;
    const std::string_view word = text.substr(i, end - i);
    text.remove_prefix(end);
    return word;
}

// A word of decimal digits as a number; nullopt for anything else or a number past the type.
template <typename Number>
std::optional<Number> whole_number(std::string_view word) {
    if (word.empty() || word.size() > 20) return std::nullopt;
    Number value = 0;
    for (const char c : word) {
        if (!is_digit(c)) return std::nullopt;
        const Number digit = static_cast<Number>(c - '0');
        if (value > (std::numeric_limits<Number>::max() - digit) / 10) return std::nullopt;
        value = static_cast<Number>(value * 10 + digit);
    }
    return value;
}

// A text as the record keeps it: blanks and control bytes between words made one blank, cut to
// limit bytes at a word's end.
std::string clean_text(std::string_view text, std::size_t limit) {
    std::string clean;
    for (const char c : text) {
        const bool gap = static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == ' ';
        if (gap) {
            if (!clean.empty() && clean.back() != ' ') clean.push_back(' ');
        } else {
            clean.push_back(c);
        }
    }
    if (clean.size() > limit) {
        clean.resize(limit);
        const std::size_t last_gap = clean.rfind(' ');
        if (last_gap != std::string::npos) clean.resize(last_gap);
    }
    while (!clean.empty() && clean.back() == ' ') clean.pop_back();
    return clean;
}

// The two columns of a Down/Up row: down first (the near end), then up. A lone "-" joins the
// word after it, for a router that prints a sign apart from its number.
struct TwoWords {
    std::string_view down;
    std::string_view up;
};

TwoWords two_columns(std::string_view values) {
    std::array<std::string_view, 2> words;
    for (auto& word : words) {
        word = next_word(values);
        if (word != "-") continue;
        const std::string_view number = next_word(values);
        if (number.empty()) continue;
        const auto span = static_cast<std::size_t>(number.data() + number.size() - word.data());
        word = std::string_view(word.data(), span);
    }
    return {words[0], words[1]};
}

void store_decibels(std::string_view values, PerDirection<std::string>& figure) {
    const TwoWords columns = two_columns(values);
    figure.down = plain_decimal(columns.down);
    figure.up = plain_decimal(columns.up);
}

void store_counts(std::string_view values, PerDirection<RunningCount>& count) {
    const TwoWords columns = two_columns(values);
    count.down = whole_number<std::uint64_t>(columns.down);
    count.up = whole_number<std::uint64_t>(columns.up);
}

void store_rates(std::string_view values, PerDirection<RateKbits>& rate) {
    const TwoWords columns = two_columns(values);
    rate.down = whole_number<std::int64_t>(columns.down);
    rate.up = whole_number<std::int64_t>(columns.up);
}

// The rate after `name` in a rate text ("Upstream rate = 5517 Kbps"): "=", the number, "Kbps".
// nullopt when any of them is missing, so a figure in another unit is never taken for kbit/s.
RateKbits named_rate(std::string_view text, std::string_view name) {
    const std::size_t at = find_nocase(text, name);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = trim(text.substr(at + name.size()));
    if (rest.empty() || rest.front() != '=') return std::nullopt;
    rest.remove_prefix(1);
    rest = trim(rest);
    std::size_t digits = 0;
    while (digits < rest.size() && is_digit(rest[digits])) ++digits;
    const RateKbits rate = whole_number<std::int64_t>(rest.substr(0, digits));
    if (!starts_nocase(trim(rest.substr(digits)), "kbps")) return std::nullopt;
    return rate;
}

// Both rates of a rate text ("Upstream rate = N Kbps, Downstream rate = M Kbps"), each by its
// name, whatever their order.
void read_rate_pair(std::string_view text, PerDirection<RateKbits>& rate) {
    rate.down = named_rate(text, "downstream rate");
    rate.up = named_rate(text, "upstream rate");
}

// Whether the path a rate line names ("0" of "Bearer: 0, ...", "FAST" of "Channel: FAST, ...")
// is the one that carries the line's data: bearer or path 0, the fast or interleaved channel.
bool is_data_path(std::string_view label_kind, std::string_view path) {
    if (label_kind == "channel") {
        return equals_ignoring_case(path, "fast") || equals_ignoring_case(path, "intr") ||
               equals_ignoring_case(path, "interleave") ||
               equals_ignoring_case(path, "interleaved");
    }
    return path == "0";
}

// Whether a line opens a period block: "<name> time = <how long>". Gives the name.
bool block_heading(std::string_view line, std::string_view& name) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view before = trim(line.substr(0, equals));
    if (before.find(':') != std::string_view::npos) return false;
    constexpr std::string_view word = "time";
    if (before.size() < word.size() ||
        !equals_ignoring_case(before.substr(before.size() - word.size()), word)) {
        return false;
    }
    const std::string_view rest = before.substr(0, before.size() - word.size());
    if (!rest.empty() && !is_blank(rest.back())) return false;
    name = trim(rest);
    return true;
}

// A row's label and what follows it: "FEC:\t\t12\t\t3" and the older "SF = 12" alike.
bool split_row(std::string_view line, std::string_view& label, std::string_view& values) {
    std::size_t mark = line.find(':');
    if (mark == std::string_view::npos) mark = line.find('=');
    if (mark == std::string_view::npos || mark == 0) return false;
    label = trim(line.substr(0, mark));
    values = line.substr(mark + 1);
    return !label.empty();
}

// The counters of one period block, each row as the block printed it.
struct BlockCounts {
    bool seen = false;
    bool fec_read = false, crc_read = false, es_read = false, ses_read = false, uas_read = false;
    PerDirection<RunningCount> fec, crc, es, ses, uas;
};

void read_block_row(std::string_view label, std::string_view values, BlockCounts& block) {
    const auto take = [&](std::string_view name, bool& read, PerDirection<RunningCount>& count) {
        if (read || !label_is(label, name)) return false;
        store_counts(values, count);
        read = true;
        return true;
    };
    (void)(take("fec", block.fec_read, block.fec) || take("crc", block.crc_read, block.crc) ||
           take("es", block.es_read, block.es) || take("ses", block.ses_read, block.ses) ||
           take("uas", block.uas_read, block.uas));
}

enum class Block { none, since_link, total, other };

// Everything the stats reader gathers before it writes the record: each field from the first
// row that holds it.
struct StatsScan {
    std::optional<std::string> state, mode, profile;
    bool rate_read = false, attainable_read = false;
    PerDirection<RateKbits> rate, attainable;
    bool rate_row_read = false, max_row_read = false;
    PerDirection<RateKbits> rate_row, max_row;  // old firmware's "Rate (Kbps):", "Max(Kbps):"
    bool snr_read = false, attenuation_read = false, power_read = false;
    PerDirection<std::string> snr_margin, attenuation, power;
    bool hec_read = false;
    PerDirection<RunningCount> hec;
    BlockCounts since_link, total;
};

void read_rate_line(std::string_view label_kind, std::string_view values, StatsScan& scan) {
    if (scan.rate_read) return;
    const std::size_t comma = values.find(',');
    if (comma == std::string_view::npos) return;
    if (!is_data_path(label_kind, trim(values.substr(0, comma)))) return;
    read_rate_pair(values.substr(comma + 1), scan.rate);
    scan.rate_read = true;
}

void read_status(std::string_view values, StatsScan& scan) {
    if (scan.state) return;
    std::string_view state = trim(values);
    // Old firmware goes on after the state on the same line ("Showtime  Channel: FAST, ...").
    std::size_t end = state.find('\t');
    end = std::min(end, state.find("  "));
    const std::string_view after = end == std::string_view::npos ? "" : state.substr(end);
    state = trim(state.substr(0, end));
    if (!state.empty()) scan.state = clean_text(state, state_text_limit);
    const std::size_t channel = find_nocase(after, "channel:");
    if (channel != std::string_view::npos) {
        read_rate_line("channel", after.substr(channel + 8), scan);
    }
}

void read_profile(std::string_view values, StatsScan& scan) {
    if (scan.profile) return;
    std::string_view rest = values;
    std::string_view word = next_word(rest);
    if (equals_ignoring_case(word, "profile")) word = next_word(rest);
    // Broadcom's own name for the 35b profile.
    if (equals_ignoring_case(word, "brcmpriv1")) word = "35b";
    if (word.empty() || word.size() > profile_text_limit) return;
    if (!std::all_of(word.begin(), word.end(), is_alnum)) return;
    scan.profile = std::string(word);
}

void read_stats_row(std::string_view label, std::string_view values, std::int64_t bearer,
                    StatsScan& scan) {
    if (label_is(label, "status")) {
        read_status(values, scan);
    } else if (label_is(label, "mode")) {
        if (!scan.mode) {
            std::string mode = clean_text(trim(values), mode_text_limit);
            if (!mode.empty()) scan.mode = std::move(mode);
        }
    } else if (label_is(label, "vdsl2profile")) {
        read_profile(values, scan);
    } else if (label_is(label, "max")) {
        if (!scan.attainable_read) {
            read_rate_pair(values, scan.attainable);
            scan.attainable_read = true;
        }
    } else if (label_is(label, "bearer") || label_is(label, "path")) {
        read_rate_line("path", values, scan);
    } else if (label_is(label, "channel")) {
        read_rate_line("channel", values, scan);
    } else if (label_is(label, "snr(db)")) {
        if (!scan.snr_read) store_decibels(values, scan.snr_margin);
        scan.snr_read = true;
    } else if (label_is(label, "attn(db)")) {
        if (!scan.attenuation_read) store_decibels(values, scan.attenuation);
        scan.attenuation_read = true;
    } else if (label_is(label, "pwr(dbm)")) {
        if (!scan.power_read) store_decibels(values, scan.power);
        scan.power_read = true;
    } else if (label_is(label, "rate(kbps)")) {
        if (!scan.rate_row_read) store_rates(values, scan.rate_row);
        scan.rate_row_read = true;
    } else if (label_is(label, "max(kbps)")) {
        if (!scan.max_row_read) store_rates(values, scan.max_row);
        scan.max_row_read = true;
    } else if (label_is(label, "hec")) {
        // VDSL2 prints a HEC row for each bearer: the line's data runs on bearer 0.
        if (!scan.hec_read && bearer <= 0) {
            store_counts(values, scan.hec);
            scan.hec_read = true;
        }
    }
}

// The bearer a section heading names ("\t\t\tBearer 1"), or -1 when the line is no such heading.
std::int64_t bearer_heading(std::string_view trimmed) {
    constexpr std::string_view word = "bearer";
    if (!starts_nocase(trimmed, word)) return -1;
    std::string_view rest = trimmed.substr(word.size());
    if (rest.empty() || !is_blank(rest.front())) return -1;
    const std::string_view number = next_word(rest);
    if (!trim(rest).empty()) return -1;
    return whole_number<std::int64_t>(number).value_or(-1);
}

void write_block(const BlockCounts& block, LineRecord& record) {
    if (block.fec_read) record.fec = block.fec;
    if (block.crc_read) record.crc = block.crc;
    if (block.es_read) record.es = block.es;
    if (block.ses_read) record.ses = block.ses;
    if (block.uas_read) record.uas = block.uas;
}

// Reads a table of one value per tone ("Tone number      Bit Allocation", then "   0\t\t0" a
// line) after the heading line that holds `heading_word`. When the heading is there, calls
// begin(n), n an upper bound of the tones that follow, then take(value) for tone 0, 1, 2, ... in
// order, and stops at the first line that is not the next tone or whose value take refuses. A
// tone missing in between is where lines were lost, never a tone the router left out: the table
// ends before it, so no tone after a gap is taken for its neighbour.
template <typename Begin, typename Take>
void read_tone_table(std::string_view reply, std::string_view heading_word, Begin begin,
                     Take take) {
    std::string_view rest = reply;
    std::string_view line;
    bool heading = false;
    while (!heading && next_line(rest, line)) {
        const std::string_view trimmed = trim(line);
        heading = starts_nocase(trimmed, "tone number") &&
                  find_nocase(trimmed, heading_word) != std::string_view::npos;
    }
    if (!heading) return;
    // The table is read with plain pointers and comparisons, a few steps a byte: it is the
    // longest reply of a cycle (4096 tones, about 60 KB) and must cost well under a millisecond
    // even in a build without optimisation.
    const std::string_view table = rest;
    begin(table.size() / 4);  // no tone line is shorter than "0 0\n"
    const char* next = table.data();
    const char* const end = next + table.size();
    std::uint64_t tone = 0;
    for (;;) {
        const auto* const line_end =
            static_cast<const char*>(std::memchr(next, '\n', static_cast<std::size_t>(end - next)));
        if (line_end == nullptr) break;
        const char* at = next;
        next = line_end + 1;
        while (at < line_end && (*at == ' ' || *at == '\t' || *at == '\r')) ++at;
        if (at == line_end) {
            if (tone == 0) continue;  // a blank line between the heading and the table
            break;
        }
        const char* const digits = at;
        std::uint64_t number = 0;
        while (at < line_end && *at >= '0' && *at <= '9' && at - digits < 10) {
            number = number * 10 + static_cast<std::uint64_t>(*at - '0');
            ++at;
        }
        if (at == digits || number != tone || (*at != ' ' && *at != '\t')) break;
        while (at < line_end && (*at == ' ' || *at == '\t')) ++at;
        const char* const value = at;
        while (at < line_end && *at != ' ' && *at != '\t' && *at != '\r') ++at;
        const char* const value_end = at;
        while (at < line_end && (*at == ' ' || *at == '\t' || *at == '\r')) ++at;
        if (at != line_end) break;
        if (!take(std::string_view(value, static_cast<std::size_t>(value_end - value)))) break;
        ++tone;
    }
}

}  // namespace

const RouterFamily broadcom_family = {
    .name = "broadcom",
    .devices =
        "Broadcom-based gateways and modems (xdslctl: ZyXEL, TP-Link, Netgear, D-Link, "
        "Technicolor, newer DrayTek)",
    .user_prompt = "Login:",
    .commands = commands,
};

// The reply of "xdslctl info --stats" (older firmware: adslctl, xdslcmd; the same layout):
//   Status: Showtime
//   Max:    Upstream rate = 5517 Kbps, Downstream rate = 33960 Kbps
//   Bearer: 0, Upstream rate = 5517 Kbps, Downstream rate = 31829 Kbps  (or "Path: 0, ...",
//           "Channel: FAST, ..."; old firmware after the state: "Status: Showtime  Channel: ...")
//   Mode:   VDSL2 Annex B / VDSL2 Profile: Profile 17a
//                   Down            Up
//   SNR (dB):        6.9             4.9   (Attn(dB):, Pwr(dBm):; old firmware adds Max(Kbps):
//                                           and Rate (Kbps): rows)
//   sections headed by an indented title ("Counters", "Bearer 0") holding the HEC row,
//   then period blocks, each a heading "<name> time = ..." and rows "FEC:\t\tn\t\tn" (old
//   firmware "SF = n"), up to a blank line or the next heading.
void read_broadcom_stats(std::string_view reply, LineRecord& record) {
    StatsScan scan;
    Block block = Block::none;
    std::int64_t bearer = -1;
    std::string_view rest = reply;
    std::string_view line;
    while (next_line(rest, line)) {
        const std::string_view trimmed = trim(line);
        if (trimmed.empty()) {
            block = Block::none;
            continue;
        }
        std::string_view name;
        if (block_heading(trimmed, name)) {
            // Only the first block of each kind counts; "Since Previous Link" is another kind.
            block = Block::other;
            if (label_is(name, "sincelink") && !scan.since_link.seen) block = Block::since_link;
            if (label_is(name, "total") && !scan.total.seen) block = Block::total;
            if (block == Block::since_link) scan.since_link.seen = true;
            if (block == Block::total) scan.total.seen = true;
            continue;
        }
        const std::int64_t heading_bearer = bearer_heading(trimmed);
        if (heading_bearer >= 0) {
            bearer = heading_bearer;
            block = Block::none;
            continue;
        }
        std::string_view label;
        std::string_view values;
        if (!split_row(trimmed, label, values)) {
            block = Block::none;  // a section title ("Counters", "Down  Up")
            continue;
        }
        if (block == Block::since_link) read_block_row(label, values, scan.since_link);
        if (block == Block::total) read_block_row(label, values, scan.total);
        if (block == Block::none) read_stats_row(label, values, bearer, scan);
    }

    if (scan.state) record.state = std::move(*scan.state);
    if (scan.mode) record.mode = *scan.mode;
    if (scan.profile && (!scan.mode || find_nocase(*scan.mode, "vdsl") != std::string::npos)) {
        record.profile = std::move(*scan.profile);
    }
    if (scan.rate_read) {
        record.rate = scan.rate;
    } else if (scan.rate_row_read) {
        record.rate = scan.rate_row;
    }
    if (scan.attainable_read) {
        record.attainable = scan.attainable;
    } else if (scan.max_row_read) {
        record.attainable = scan.max_row;
    }
    if (scan.snr_read) record.snr_margin = std::move(scan.snr_margin);
    if (scan.attenuation_read) record.attenuation = std::move(scan.attenuation);
    if (scan.power_read) record.power = std::move(scan.power);
    if (scan.hec_read) record.hec = scan.hec;
    if (scan.since_link.seen) {
        write_block(scan.since_link, record);
    } else if (scan.total.seen) {
        write_block(scan.total, record);
    }
}

void read_broadcom_bits(std::string_view reply, LineRecord& record) {
    std::vector<std::uint8_t>& bits = record.bits;
    const auto begin = [&bits](std::size_t tones) {
        bits.clear();
        bits.reserve(tones);
    };
    const auto take = [&bits](std::string_view value) {
        // A tone without a bit count ends the table: there is no value to give it.
        if (value.empty() || value.size() > 3) return false;
        unsigned count = 0;
        for (const char c : value) {
            if (c < '0' || c > '9') return false;
            count = count * 10 + static_cast<unsigned>(c - '0');
        }
        if (count > std::numeric_limits<std::uint8_t>::max()) return false;
        bits.push_back(static_cast<std::uint8_t>(count));
        return true;
    };
    read_tone_table(reply, "bit", begin, take);
}

void read_broadcom_snr(std::string_view reply, LineRecord& record) {
    std::vector<double>& snr = record.snr;
    const auto begin = [&snr](std::size_t tones) {
        snr.clear();
        snr.reserve(tones);
    };
    const auto take = [&snr](std::string_view value) {
        double number = 0;
        const char* const end = value.data() + value.size();
        const auto [stop, error] = std::from_chars(value.data(), end, number);
        const bool is_number = !value.empty() && error == std::errc() && stop == end;
        snr.push_back(
            is_number && std::isfinite(number) ? number : std::numeric_limits<double>::quiet_NaN());
        return true;
    };
    read_tone_table(reply, "snr", begin, take);
}
