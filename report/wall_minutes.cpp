// Log stamps as wall-clock minutes.
#include "report/wall_minutes.h"

#include <cstring>

#include "runtime/calendar.h"

namespace {

// Day 0 of the report's minutes.
constexpr std::int64_t days_to_2000 = days_from_civil(2000, 1, 1);

int days_in_month(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

// Days from 2000-01-01 to the date.
std::int32_t days_from_2000(int year, int month, int day) {
    return static_cast<std::int32_t>(days_from_civil(year, month, day) - days_to_2000);
}

// The two digits at text[at], or -1.
int two_digits(std::string_view text, std::size_t at) {
    const char a = text[at];
    const char b = text[at + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
    return (a - '0') * 10 + (b - '0');
}

WallMinute checked_minute(int year, int month, int day, int hour, int minute) {
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) return -1;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return -1;
    return days_from_2000(year, month, day) * minutes_per_day + hour * minutes_per_hour + minute;
}

void append_two_digits(std::string& text, int value) {
    text += static_cast<char>('0' + value / 10);
    text += static_cast<char>('0' + value % 10);
}

}  // namespace

WallMinute read_stamp(std::string_view date, std::string_view time) {
    if (date.size() != 8 || date[2] != '/' || date[5] != '/') return -1;
    if (time.size() != 5 || time[2] != ':') return -1;
    const int day = two_digits(date, 0);
    const int month = two_digits(date, 3);
    const int year = two_digits(date, 6);
    const int hour = two_digits(time, 0);
    const int minute = two_digits(time, 3);
    if (day < 0 || month < 0 || year < 0 || hour < 0 || minute < 0) return -1;
    return checked_minute(2000 + year, month, day, hour, minute);
}

WallMinute read_line_stamp(std::string_view stamp, std::int32_t& utc_offset_minutes) {
    LineStampReader reader;
    return reader.read(stamp, utc_offset_minutes);
}

WallMinute LineStampReader::read(std::string_view stamp, std::int32_t& utc_offset_minutes) {
    // "YYYY-MM-DDThh:mm:ss" and then "+hh:mm", "-hh:mm" or "Z".
    const bool utc = stamp.size() == 20 && stamp[19] == 'Z';
    if (stamp.size() != 25 && !utc) return -1;
    if (stamp[10] != 'T' || stamp[13] != ':' || stamp[16] != ':') return -1;
    const int hour = two_digits(stamp, 11);
    const int minute = two_digits(stamp, 14);
    const int second = two_digits(stamp, 17);
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60) return -1;
    if (utc) {
        utc_offset_minutes = 0;
    } else {
        const char sign = stamp[19];
        const int offset_hours = two_digits(stamp, 20);
        const int offset_minutes = two_digits(stamp, 23);
        if ((sign != '+' && sign != '-') || stamp[22] != ':' || offset_hours < 0 ||
            offset_hours > 18 || offset_minutes < 0 || offset_minutes > 59)
            return -1;
        const int offset = offset_hours * minutes_per_hour + offset_minutes;
        utc_offset_minutes = sign == '-' ? -offset : offset;
    }
    if (day_start_ < 0 || std::memcmp(stamp.data(), date_, sizeof date_) != 0) {
        if (stamp[4] != '-' || stamp[7] != '-') return -1;
        const int century = two_digits(stamp, 0);
        const int year = two_digits(stamp, 2);
        const int month = two_digits(stamp, 5);
        const int day = two_digits(stamp, 8);
        if (century != 20 || year < 0 || month < 0 || day < 0) return -1;
        const WallMinute start = checked_minute(2000 + year, month, day, 0, 0);
        if (start < 0) return -1;
        std::memcpy(date_, stamp.data(), sizeof date_);
        day_start_ = start;
    }
    return day_start_ + hour * minutes_per_hour + minute;
}

WallMinute read_day(std::string_view day) {
    if (day.size() != 10 || day[4] != '-' || day[7] != '-') return -1;
    const int century = two_digits(day, 0);
    const int year = two_digits(day, 2);
    const int month = two_digits(day, 5);
    const int date = two_digits(day, 8);
    if (century < 0 || year < 0 || month < 0 || date < 0) return -1;
    const int full_year = century * 100 + year;
    // Any year is a real one; only those of the logs keep the minutes within their range.
    const int leap_check_year = full_year % 400 + 2000;
    if (checked_minute(leap_check_year, month, date, 0, 0) < 0) return -1;
    if (full_year < first_log_year || full_year > last_log_year) return day_outside_logs;
    return checked_minute(full_year, month, date, 0, 0);
}

StampFields stamp_fields(WallMinute minute) {
    const std::int32_t days = minute >= 0 ? minute / minutes_per_day
                                          : -((-minute + minutes_per_day - 1) / minutes_per_day);
    const WallMinute of_day = minute - days * minutes_per_day;
    const CivilDate date = civil_from_days(days + days_to_2000);
    return {static_cast<int>(date.year), date.month, date.day, of_day / minutes_per_hour,
            of_day % minutes_per_hour};
}

WallMinute minute_of(const StampFields& fields) {
    if (fields.year < first_log_year || fields.year > last_log_year) return -1;
    return checked_minute(fields.year, fields.month, fields.day, fields.hour, fields.minute);
}

std::string format_day(WallMinute minute) {
    const StampFields fields = stamp_fields(minute);
    std::string text;
    append_two_digits(text, fields.day);
    text += '/';
    append_two_digits(text, fields.month);
    text += '/';
    append_two_digits(text, fields.year % 100);
    return text;
}

std::string format_stamp(WallMinute minute) {
    const StampFields fields = stamp_fields(minute);
    std::string text = format_day(minute);
    text += ' ';
    append_two_digits(text, fields.hour);
    text += ':';
    append_two_digits(text, fields.minute);
    return text;
}
