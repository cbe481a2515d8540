// Local wall-clock date values and their formatting with masks such as "%dd/%mm/%yy".
// A date value counts seconds from 1970-01-01 00:00:00 to the local wall-clock time, every day
// 24 hours and no time zone, so UTC calendar arithmetic on it gives back the wall-clock fields. It
// is 64 bits wide: 32 would end on 19 January 2038 at 03:14:07.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct WallClock {
    int year = 1970;  // four digits
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    // How far the local time is ahead of UTC, in minutes: 60 for CET, 120 for CEST, -300 for EST,
    // 330 for India. Not part of the date value, which counts local wall-clock seconds.
    int utc_offset_minutes = 0;
};

// The date value of the given fields, or -1 when they are not a valid date or lie before 1970.
std::int64_t date_value(const WallClock& fields);

// The date value of the local time now (to the second), read through the clock below.
std::int64_t current_date();

// The local time now with its UTC offset, one reading of the clock below: a caller that needs
// both the date value (date_value of it) and the offset gets a pair that belongs together.
WallClock current_wall_clock();

// The offset as ISO 8601 writes it after a time: "+01:00", "-03:30", "+00:00" for UTC.
std::string format_utc_offset(int utc_offset_minutes);

// The mask with each "%" token (yyyy, yy, mm, dd, hh, ii, ss; any case) replaced by the date's
// field; a "%" that no token follows is copied.
std::string format_date(std::string_view mask, std::int64_t date);

// The clock that current_date reads: the local wall-clock time. Tests replace it; null restores
// the system clock.
using ClockSource = WallClock (*)();
void set_clock_source(ClockSource source);
