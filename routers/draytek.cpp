// The DrayTek family's dialog and its readers of the Vigor console's replies.
#include "routers/draytek.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/text.h"

namespace {

constexpr std::array<FamilyCommand, 3> commands = {{
    {"vdsl status", false, &read_draytek_status},
    {"vdsl status more", false, &read_draytek_status_more},
    {"vdsl showbins", false, &read_draytek_showbins},
}};

// ---- Text of the console ---------------------------------------------------------------------

// The Vigor pads its columns with runs of spaces, some firmware with tabs; a CR may sit anywhere a
// line was rewritten.
bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view skip_blanks(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    return text.substr(i);
}

// The next line of rest (without its LF and the CRs before it), which then holds what follows.
// CR LF and LF read the same; a last line without a line end is read as it is.
std::string_view take_line(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The first word of text (up to a blank) and text after it.
std::string_view take_word(std::string_view& text) {
    text = skip_blanks(text);
    std::size_t end = 0;
    while (end < text.size() && !is_blank(text[end])) ++end;
    const std::string_view word = text.substr(0, end);
    text = text.substr(end);
    return word;
}

// Whether `before` (a line's text up to a colon) ends with label, as a whole label: its letters
// in any case, each blank of label matching any run of blanks (the console doubles some, "FE  ES
// Count"), blanks before the colon allowed, and a blank or the line's start before the label.
bool ends_with_label(std::string_view before, std::string_view label) {
    std::size_t i = before.size();
    while (i > 0 && is_blank(before[i - 1])) --i;
    std::size_t j = label.size();
    while (j > 0) {
        if (i == 0) return false;
        if (label[j - 1] == ' ') {
            if (!is_blank(before[i - 1])) return false;
            while (i > 0 && is_blank(before[i - 1])) --i;
        } else {
            if (ascii_lower(before[i - 1]) != ascii_lower(label[j - 1])) return false;
            --i;
        }
        --j;
    }
    return i == 0 || is_blank(before[i - 1]);
}

// Calls on_label(index, value) for each label of `labels` in line, value being the text after its
// colon to the end of the line. A line holds one label or two (the right-hand column's label
// follows the left value).
template <typename Labels, typename OnLabel>
void for_each_label(std::string_view line, const Labels& labels, OnLabel on_label) {
    for (std::size_t colon = line.find(':'); colon != std::string_view::npos;
         colon = line.find(':', colon + 1)) {
        const std::string_view before = line.substr(0, colon);
        for (std::size_t k = 0; k < labels.size(); ++k) {
            if (ends_with_label(before, labels[k].text)) {
                on_label(k, line.substr(colon + 1));
                break;
            }
        }
    }
}

// ---- Values ----------------------------------------------------------------------------------

// An unsigned whole number that is all of word; nullopt for anything else or one too large.
std::optional<std::uint64_t> whole_number(std::string_view word) {
    if (word.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : word) {
        if (!is_digit(c)) return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// The count that opens a value ("0", "63281"); nullopt when the value is no whole number.
RunningCount leading_count(std::string_view value) {
    return whole_number(take_word(value));
}

// A rate value, "32397000 bps": DrayTek prints bit/s, which become kbit/s rounded to the nearest
// (a half up), so 41041052 bps is 41041 kbit/s and 500 bps is 1. A value in "kbps" is taken as it
// is; another unit leaves the rate empty. A number with no unit after it is bit/s.
RateKbits leading_rate(std::string_view value) {
    const std::optional<std::uint64_t> number = whole_number(take_word(value));
    if (!number) return std::nullopt;
    const std::string_view unit = take_word(value);
    constexpr auto largest = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (equals_ignoring_case(unit, "kbps")) {
        if (*number > largest) return std::nullopt;
        return static_cast<std::int64_t>(*number);
    }
    if (equals_ignoring_case(unit, "mbps") || equals_ignoring_case(unit, "gbps"))
        return std::nullopt;
    return static_cast<std::int64_t>(*number / 1000 + (*number % 1000 >= 500 ? 1 : 0));
}

// A decibel value made plain: "11 dB" gives "11", "0. 6 dB" "0.6". The console prints a value
// below zero in tenths with the sign after the point ("0.-5" for -0.5, "-1.-5" for -1.5), which
// reads as the number it means. "" when the value opens with no number.
std::string leading_decibel(std::string_view value) {
    value = skip_blanks(value);
    std::string number;
    std::size_t i = 0;
    if (i < value.size() && (value[i] == '-' || value[i] == '+')) number.push_back(value[i++]);
    const std::size_t whole_from = i;
    while (i < value.size() && is_digit(value[i])) number.push_back(value[i++]);
    if (i == whole_from) return "";
    // A fraction: ".", then blanks, perhaps a "-", blanks, digits; blanks before the point too.
    std::size_t j = i;
    while (j < value.size() && is_blank(value[j])) ++j;
    if (j < value.size() && value[j] == '.') {
        ++j;
        while (j < value.size() && is_blank(value[j])) ++j;
        bool negative_fraction = false;
        if (j < value.size() && value[j] == '-') {
            negative_fraction = true;
            ++j;
            while (j < value.size() && is_blank(value[j])) ++j;
        }
        const std::size_t fraction_from = j;
        std::string fraction;
        while (j < value.size() && is_digit(value[j])) fraction.push_back(value[j++]);
        if (j > fraction_from) {
            if (negative_fraction && number.front() != '-') {
                if (number.front() == '+') number.erase(0, 1);
                number.insert(number.begin(), '-');
            }
            number.push_back('.');
            number += fraction;
        }
    }
    return plain_decimal(number);
}

// The longest word value kept: the console's states and modes are single short words.
constexpr std::size_t max_text_bytes = 40;

// A word value ("SHOWTIME", "17A", "ADSL2+(G.992.5)") up to two blanks, a tab or another control
// byte, or the line's end, cut to max_text_bytes; "" when the value is empty, which the console
// shows by going straight on to the right-hand column's label (a text followed by a colon).
std::string_view leading_text(std::string_view value) {
    value = skip_blanks(value);
    std::size_t end = 0;
    while (end < value.size()) {
        const auto c = static_cast<unsigned char>(value[end]);
        if (c < 0x20 || c == 0x7f) break;
        if (c == ' ' && end + 1 < value.size() && value[end + 1] == ' ') break;
        ++end;
    }
    std::string_view text = value.substr(0, end);
    std::string_view after = skip_blanks(value.substr(end));
    if (text.find(':') != std::string_view::npos) {
        // Columns one blank apart: the value is the first word, unless it is a label's word.
        std::string_view rest = text;
        text = take_word(rest);
        after = skip_blanks(rest);
        if (!text.empty() && text.back() == ':') return {};
    }
    if (!after.empty() && after.front() == ':') return {};
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text.substr(0, max_text_bytes);
}

// ---- vdsl status -----------------------------------------------------------------------------

enum class StatusField {
    state,
    running_mode,
    rate_down,
    rate_up,
    attainable_down,
    attainable_up,
    attenuation_down,
    attenuation_up,
    margin_down,
    margin_up,
    crc_down,
    crc_up,
    es_down,
    es_up,
};

struct StatusLabel {
    std::string_view text;
    StatusField field;
};

// The labels of "vdsl status" that the record takes: near end (NE, "Cur") is down, far end
// (Far, FE) is up. "DSL Modulation" is the ADSL firmware's word for the running mode.
constexpr std::array<StatusLabel, 15> status_labels = {{
    {"Running Mode", StatusField::running_mode},
    {"DSL Modulation", StatusField::running_mode},
    {"State", StatusField::state},
    {"DS Actual Rate", StatusField::rate_down},
    {"US Actual Rate", StatusField::rate_up},
    {"DS Attainable Rate", StatusField::attainable_down},
    {"US Attainable Rate", StatusField::attainable_up},
    {"NE Current Attenuation", StatusField::attenuation_down},
    {"Far Current Attenuation", StatusField::attenuation_up},
    {"Cur SNR Margin", StatusField::margin_down},
    {"Far SNR Margin", StatusField::margin_up},
    {"NE CRC Count", StatusField::crc_down},
    {"FE CRC Count", StatusField::crc_up},
    {"NE ES Count", StatusField::es_down},
    {"FE ES Count", StatusField::es_up},
}};

// A VDSL2 profile as the Vigor prints it for the running mode: "17A", "8B", "35B".
bool is_profile(std::string_view word) {
    if (word.size() < 2 || word.size() > 3) return false;
    for (std::size_t i = 0; i + 1 < word.size(); ++i)
        if (!is_digit(word[i])) return false;
    const char letter = ascii_lower(word.back());
    return letter >= 'a' && letter <= 'd';
}

std::string lowered(std::string_view word) {
    std::string text(word);
    for (char& c : text) c = ascii_lower(c);
    return text;
}

// "Running Mode : 17A" names the VDSL2 profile alone; another running mode ("ADSL2+", "VDSL2
// 17A") is the mode as printed, with a profile word at its end taken as the profile.
void read_running_mode(std::string_view text, LineRecord& record) {
    if (text.empty()) return;
    if (is_profile(text)) {
        record.mode = "VDSL2";
        record.profile = lowered(text);
        return;
    }
    const std::size_t last_blank = text.find_last_of(" \t");
    if (last_blank != std::string_view::npos && is_profile(text.substr(last_blank + 1))) {
        record.mode = std::string(text.substr(0, text.find_last_not_of(" \t", last_blank) + 1));
        record.profile = lowered(text.substr(last_blank + 1));
        return;
    }
    record.mode = std::string(text);
    record.profile.clear();
}

void assign_if(RateKbits value, RateKbits& field) {
    if (value) field = value;
}

void assign_if(RunningCount value, RunningCount& field) {
    if (value) field = value;
}

void assign_if(std::string value, std::string& field) {
    if (!value.empty()) field = std::move(value);
}

void read_status_value(StatusField field, std::string_view value, LineRecord& record) {
    switch (field) {
        case StatusField::state:
            assign_if(std::string(leading_text(value)), record.state);
            break;
        case StatusField::running_mode:
            read_running_mode(leading_text(value), record);
            break;
        case StatusField::rate_down:
            assign_if(leading_rate(value), record.rate.down);
            break;
        case StatusField::rate_up:
            assign_if(leading_rate(value), record.rate.up);
            break;
        case StatusField::attainable_down:
            assign_if(leading_rate(value), record.attainable.down);
            break;
        case StatusField::attainable_up:
            assign_if(leading_rate(value), record.attainable.up);
            break;
        case StatusField::attenuation_down:
            assign_if(leading_decibel(value), record.attenuation.down);
            break;
        case StatusField::attenuation_up:
            assign_if(leading_decibel(value), record.attenuation.up);
            break;
        case StatusField::margin_down:
            assign_if(leading_decibel(value), record.snr_margin.down);
            break;
        case StatusField::margin_up:
            assign_if(leading_decibel(value), record.snr_margin.up);
            break;
        case StatusField::crc_down:
            assign_if(leading_count(value), record.crc.down);
            break;
        case StatusField::crc_up:
            assign_if(leading_count(value), record.crc.up);
            break;
        case StatusField::es_down:
            assign_if(leading_count(value), record.es.down);
            break;
        case StatusField::es_up:
            assign_if(leading_count(value), record.es.up);
            break;
    }
}

// ---- vdsl status more ------------------------------------------------------------------------

struct CounterLabel {
    std::string_view text;
    PerDirection<RunningCount> LineRecord::*counter;
};

// The rows of "vdsl status more" that the record takes. FEC is RsCorrection, the blocks that
// Reed-Solomon corrected; FECS counts seconds with a correction and is left out.
constexpr std::array<CounterLabel, 6> counter_labels = {{
    {"RsCorrection", &LineRecord::fec},
    {"CRC", &LineRecord::crc},
    {"HECError", &LineRecord::hec},
    {"ES", &LineRecord::es},
    {"SES", &LineRecord::ses},
    {"UAS", &LineRecord::uas},
}};

// Where the two words `first second` ("Near End") stand in a heading line; npos when it lacks them.
std::size_t find_words(std::string_view line, std::string_view first, std::string_view second) {
    std::string_view rest = line;
    for (std::string_view word = take_word(rest); !word.empty(); word = take_word(rest)) {
        if (!equals_ignoring_case(word, first)) continue;
        std::string_view after = rest;
        if (equals_ignoring_case(take_word(after), second))
            return static_cast<std::size_t>(word.data() - line.data());
    }
    return std::string_view::npos;
}

// ---- vdsl showbins ---------------------------------------------------------------------------

// No line has more tones than a 35b line's 8192; a larger tone number is not a tone.
constexpr std::size_t max_tones = 8192;
// DSL loads at most 15 bits on a tone.
constexpr int max_bits = 15;

enum class ToneColumn : std::uint8_t { tone, snr, bits, other };

// The columns of one tone group as the table's heading names them ("Bin SNR Gain Bi", SNR in dB,
// gain in 0.1 dB), which every line repeats several times.
struct BinsLayout {
    static constexpr std::size_t max_columns = 8;
    std::array<ToneColumn, max_columns> columns{ToneColumn::tone, ToneColumn::snr,
                                                ToneColumn::other, ToneColumn::bits};
    std::size_t width = 4;
    double snr_scale = 1.0;  // 0.1 where the units line gives the SNR in ".1dB"
    bool has_snr = true;
};

ToneColumn column_of(std::string_view word) {
    if (equals_ignoring_case(word, "Bin") || equals_ignoring_case(word, "Tone") ||
        equals_ignoring_case(word, "Index") || equals_ignoring_case(word, "Carrier"))
        return ToneColumn::tone;
    if (equals_ignoring_case(word, "SNR")) return ToneColumn::snr;
    if (equals_ignoring_case(word, "Bi") || equals_ignoring_case(word, "Bit") ||
        equals_ignoring_case(word, "Bits"))
        return ToneColumn::bits;
    return ToneColumn::other;
}

// Reads a heading line ("Bin   SNR  Gain Bi - Bin ..."): its first group of words up to a "-",
// "*" or the next tone word. False for a line that is no heading (first word no tone word, or no
// bits column).
bool read_bins_heading(std::string_view line, BinsLayout& layout) {
    std::string_view rest = line;
    std::string_view word = take_word(rest);
    if (column_of(word) != ToneColumn::tone) return false;
    BinsLayout found;
    found.width = 0;
    bool has_bits = false;
    found.has_snr = false;
    while (!word.empty() && found.width < BinsLayout::max_columns) {
        const ToneColumn column = column_of(word);
        if (found.width > 0 && column == ToneColumn::tone) break;
        if (word == "-" || word == "*" || word == "|") break;
        found.columns[found.width++] = column;
        if (column == ToneColumn::bits) has_bits = true;
        if (column == ToneColumn::snr) found.has_snr = true;
        word = take_word(rest);
    }
    if (!has_bits) return false;
    layout = found;
    return true;
}

// Reads the units line under a heading ("dB  .1dB ts"), one unit for each column after the
// tone's: the SNR in tenths of a dB is scaled to dB.
void read_bins_units(std::string_view line, BinsLayout& layout) {
    std::string_view rest = line;
    for (std::size_t k = 1; k < layout.width; ++k) {
        const std::string_view unit = take_word(rest);
        if (unit.empty()) return;
        if (layout.columns[k] == ToneColumn::snr)
            layout.snr_scale = unit.starts_with(".1") || unit.starts_with("0.1") ? 0.1 : 1.0;
    }
}

// What the bits array holds, while a table is read, for a tone no group has listed yet.
constexpr std::uint8_t unlisted = 0xFF;
// The arrays' room at the first tone: a 17a line's 4096 tones.
constexpr std::size_t first_size = 4096;

// A tone table being read into record.bits and record.snr. Its groups may come twice for a tone
// (a DOWNSTREAM and an UPSTREAM section): the group that loads bits on the tone is kept.
struct ToneTable {
    LineRecord& record;
    const BinsLayout& layout;  // the latest heading's
    bool started = false;
    bool with_snr = false;  // some heading had an SNR column, so record.snr is kept too
    std::size_t highest = 0;
    // The group being read.
    std::size_t column = 0;
    bool broken = false;
    std::int64_t tone = 0;
    std::int64_t bits = 0;
    double snr = 0;
    bool snr_valid = false;
};

void keep_group(ToneTable& table) {
    if (table.tone >= static_cast<std::int64_t>(max_tones) || table.bits > max_bits) return;
    const auto index = static_cast<std::size_t>(table.tone);
    const auto loaded = static_cast<std::uint8_t>(table.bits);
    constexpr double none = std::numeric_limits<double>::quiet_NaN();
    if (!table.started) {
        table.started = true;
        table.record.bits.assign(first_size, unlisted);
    }
    if (table.layout.has_snr && !table.with_snr) {
        table.with_snr = true;
        table.record.snr.assign(table.record.bits.size(), none);
    }
    if (index >= table.record.bits.size()) {
        // Room for the tones to come, cut to the highest listed at the end.
        const std::size_t size =
            std::min(max_tones, std::max(index + 1, 2 * table.record.bits.size()));
        table.record.bits.resize(size, unlisted);
        if (table.with_snr) table.record.snr.resize(size, none);
    }
    std::uint8_t& kept = table.record.bits[index];
    if (kept != unlisted && (kept > 0 || loaded == 0)) return;
    kept = loaded;
    if (table.with_snr)
        table.record.snr[index] =
            table.layout.has_snr && table.snr_valid ? table.snr * table.layout.snr_scale : none;
    if (index > table.highest) table.highest = index;
}

void end_group(ToneTable& table) {
    if (table.column == table.layout.width && !table.broken) keep_group(table);
    table.column = 0;
    table.broken = false;
    table.snr_valid = false;
}

// Reads one table line of tone groups, "0 0 0 0 * 1 47 0 0 * ...": each group is the layout's
// width of words, the groups set apart by "*" or, where a firmware prints none, by counting. A
// word is a number ("-19", "47", "12.5") or a cell without one. A table of 4096 tones has some
// 16000 words, so they are read with plain pointers and no call per character.
void read_tone_line(ToneTable& table, std::string_view line) {
    const char* at = line.data();
    const char* const end = at + line.size();
    const bool starred = line.find('*') != std::string_view::npos;
    const ToneColumn* const columns = table.layout.columns.data();
    const std::size_t width = table.layout.width;
    while (at < end) {
        while (at < end && *at == ' ') ++at;  // the columns' padding, most of the line
        if (at == end) break;
        const char c = *at;
        if (c == '*') {
            end_group(table);
            ++at;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') {
            ++at;
            continue;
        }
        const bool negative = c == '-';
        if (negative) ++at;
        // Digits past the ninth make no tone, bits or SNR: the word is then no number.
        std::int64_t whole = 0;
        std::int64_t fraction = 0;
        std::int64_t fraction_scale = 1;
        const char* const digits = at;
        while (at < end && *at >= '0' && *at <= '9' && at - digits < 9)
            whole = whole * 10 + (*at++ - '0');
        bool valid = at > digits;
        bool integral = true;
        if (valid && at < end && *at == '.') {
            ++at;
            const char* const fraction_digits = at;
            while (at < end && *at >= '0' && *at <= '9' && fraction_scale < 1000000000) {
                fraction = fraction * 10 + (*at++ - '0');
                fraction_scale *= 10;
            }
            valid = at > fraction_digits;
            integral = false;
        }
        while (at < end && *at != ' ' && *at != '\t' && *at != '*' && *at != '\r') {
            valid = false;  // the word goes on with what is no number
            ++at;
        }
        if (table.column >= width) {
            table.broken = true;  // more words than a group holds between two "*"
            continue;
        }
        switch (columns[table.column]) {
            case ToneColumn::tone:
                if (!valid || !integral || negative) table.broken = true;
                table.tone = whole;
                break;
            case ToneColumn::snr:
                table.snr_valid = valid;
                table.snr = static_cast<double>(whole) +
                            static_cast<double>(fraction) / static_cast<double>(fraction_scale);
                if (negative) table.snr = -table.snr;
                break;
            case ToneColumn::bits:
                if (!valid || !integral || negative) table.broken = true;
                table.bits = whole;
                break;
            case ToneColumn::other:
                break;
        }
        ++table.column;
        if (table.column == width && !starred) end_group(table);
    }
    end_group(table);
}

// Cuts the arrays to the highest tone the table listed; a tone it did not list has no bits.
void finish_tone_table(ToneTable& table) {
    if (!table.started) return;
    table.record.bits.resize(table.highest + 1);
    for (std::uint8_t& bits : table.record.bits)
        if (bits == unlisted) bits = 0;
    if (table.with_snr) table.record.snr.resize(table.highest + 1);
}

}  // namespace

const RouterFamily draytek_family = {
    .name = "draytek",
    .devices = "DrayTek Vigor modems and routers (vdsl status: Vigor 130, 165, 166, 2760, 2862)",
    .user_prompt = "Account:",
    .commands = commands,
};

void read_draytek_status(std::string_view reply, LineRecord& record) {
    while (!reply.empty()) {
        const std::string_view line = take_line(reply);
        for_each_label(line, status_labels, [&](std::size_t k, std::string_view value) {
            read_status_value(status_labels[k].field, value, record);
        });
    }
}

void read_draytek_status_more(std::string_view reply, LineRecord& record) {
    // The table's heading says which column is which; the Vigor prints Near End first.
    bool near_first = true;
    while (!reply.empty()) {
        const std::string_view line = take_line(reply);
        const std::size_t near_at = find_words(line, "Near", "End");
        const std::size_t far_at = find_words(line, "Far", "End");
        if (near_at != std::string_view::npos && far_at != std::string_view::npos) {
            near_first = near_at < far_at;
            continue;
        }
        for_each_label(line, counter_labels, [&](std::size_t k, std::string_view value) {
            PerDirection<RunningCount>& counter = record.*(counter_labels[k].counter);
            const std::string_view first_word = take_word(value);
            const std::string_view second_word = take_word(value);
            // The first column's cell, then the second's; a cell that holds no count is skipped
            // and still takes its column.
            const RunningCount first = whole_number(first_word);
            const RunningCount second = whole_number(second_word);
            assign_if(near_first ? first : second, counter.down);
            assign_if(near_first ? second : first, counter.up);
        });
    }
}

void read_draytek_showbins(std::string_view reply, LineRecord& record) {
    BinsLayout layout;
    ToneTable table{record, layout};
    bool after_heading = false;
    while (!reply.empty()) {
        const std::string_view line = take_line(reply);
        const std::string_view text = skip_blanks(line);
        if (text.empty()) continue;
        if (is_digit(text.front())) {
            read_tone_line(table, text);
            after_heading = false;
            continue;
        }
        if (after_heading && text.front() != '-') read_bins_units(text, layout);
        after_heading = read_bins_heading(text, layout);
    }
    finish_tone_table(table);
}
