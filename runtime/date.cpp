// Date values from wall-clock fields and their formatting with "%" masks, by plain civil-calendar
// arithmetic: no time zone is involved once the local fields have been read.
#include "runtime/date.h"

#include <algorithm>
#include <atomic>
#include <iterator>

#include "runtime/calendar.h"
#include "runtime/local_clock.h"

namespace {

constexpr std::int64_t seconds_per_day = 24 * 3600;

WallClock civil_from_seconds(std::int64_t seconds) {
    std::int64_t days = seconds / seconds_per_day;
    std::int64_t second_of_day = seconds % seconds_per_day;
    if (second_of_day < 0) {
        second_of_day += seconds_per_day;
        --days;
    }
    const CivilDate date = civil_from_days(days);
    WallClock fields;
    fields.year = static_cast<int>(date.year);
    fields.month = date.month;
    fields.day = date.day;
    fields.hour = static_cast<int>(second_of_day / 3600);
    fields.minute = static_cast<int>(second_of_day / 60 % 60);
    fields.second = static_cast<int>(second_of_day % 60);
    return fields;
}

bool is_valid(const WallClock& f) {
    if (f.second < 0 || f.second > 59 || f.minute < 0 || f.minute > 59 || f.hour < 0 || f.hour > 23)
        return false;
    if (f.day < 1 || f.day > 31 || f.month < 1 || f.month > 12 || f.year <= 0) return false;
    if (f.day == 31 && (f.month == 4 || f.month == 6 || f.month == 9 || f.month == 11))
        return false;
    if (f.month == 2 && (f.day > 29 || (f.day == 29 && !is_leap_year(f.year)))) return false;
    return true;
}

std::atomic<ClockSource> clock_source{&read_local_clock};

char lower_case(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool starts_with_token(std::string_view text, std::string_view token) {
    if (text.size() < token.size()) return false;
    for (std::size_t i = 0; i < token.size(); ++i) {
        if (lower_case(text[i]) != token[i]) return false;
    }
    return true;
}

// The last two decimal digits, so the year gives its "yy".
void append_two_digits(std::string& out, int value) {
    out.push_back(static_cast<char>('0' + value / 10 % 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

struct TwoDigitToken {
    std::string_view name;
    int WallClock::*field;
};

// Tried in this order after "yyyy", so "%yyy" is the two-digit year followed by a "y".
constexpr TwoDigitToken two_digit_tokens[] = {
    {"yy", &WallClock::year}, {"mm", &WallClock::month},  {"dd", &WallClock::day},
    {"hh", &WallClock::hour}, {"ii", &WallClock::minute}, {"ss", &WallClock::second},
};

}  // namespace

// Any year of an int fits: even its 2^31 years of seconds stay far below 2^63.
std::int64_t date_value(const WallClock& fields) {
    if (!is_valid(fields)) return -1;
    const std::int64_t seconds =
        days_from_civil(fields.year, fields.month, fields.day) * seconds_per_day +
        fields.hour * 3600 + fields.minute * 60 + fields.second;
    return seconds < 0 ? -1 : seconds;
}

std::int64_t current_date() {
    return date_value(clock_source.load()());
}

WallClock current_wall_clock() {
    return clock_source.load()();
}

std::string format_utc_offset(int utc_offset_minutes) {
    const bool behind = utc_offset_minutes < 0;
    // In 64 bits, so that even the most negative int has a magnitude.
    const std::int64_t magnitude = behind ? -std::int64_t{utc_offset_minutes} : utc_offset_minutes;
    std::string out(1, behind ? '-' : '+');
    const std::int64_t hours = magnitude / 60;
    if (hours >= 100) out.append(std::to_string(hours / 100));
    append_two_digits(out, static_cast<int>(hours % 100));
    out.push_back(':');
    append_two_digits(out, static_cast<int>(magnitude % 60));
    return out;
}

// Every value is formatted by the same arithmetic: negative ones, -1 included, give the moments
// before 1970 that they count (-1 is 1969-12-31 23:59:59).
std::string format_date(std::string_view mask, std::int64_t date) {
    mask = mask.substr(0, mask.find('\0'));
    const WallClock fields = civil_from_seconds(date);
    std::string out;
    out.reserve(mask.size() + 8);
    for (std::size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] != '%') {
            out.push_back(mask[i]);
            continue;
        }
        const std::string_view rest = mask.substr(i + 1);
        if (starts_with_token(rest, "yyyy")) {
            out.append(std::to_string(fields.year));
            i += 4;
            continue;
        }
        const auto token = std::find_if(
            std::begin(two_digit_tokens), std::end(two_digit_tokens),
            [rest](const TwoDigitToken& t) { return starts_with_token(rest, t.name); });
        if (token == std::end(two_digit_tokens)) {
            out.push_back('%');
            continue;
        }
        append_two_digits(out, fields.*token->field);
        i += token->name.size();
    }
    return out;
}

void set_clock_source(ClockSource source) {
    clock_source = source ? source : &read_local_clock;
}
