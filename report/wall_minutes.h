// Log stamps as wall-clock minutes: "dd/mm/yy,hh:mm" read and written, with no time zone, so a
// clock change shows as a jump and the figures do not depend on the machine's zone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Minutes from 2000-01-01 00:00 of the wall clock, every day 1440 minutes.
using WallMinute = std::int32_t;
inline constexpr WallMinute minutes_per_hour = 60;
inline constexpr WallMinute minutes_per_day = 1440;

// The years a log's two-digit stamp can name: "yy" is 20yy.
inline constexpr int first_log_year = 2000;
inline constexpr int last_log_year = 2099;

// The minute of a stamp whose date and time fields are "dd/mm/yy" and "hh:mm" (the year is 20yy);
// -1 when either is not exactly that form or not a real date and time.
WallMinute read_stamp(std::string_view date, std::string_view time);
// What read_day gives for a real day in a year that no log stamp can name.
inline constexpr WallMinute day_outside_logs = -2;
// The minute of a whole day "YYYY-MM-DD" at 00:00; -1 when it is not a real day of that form,
// day_outside_logs when its year is outside first_log_year to last_log_year.
WallMinute read_day(std::string_view day);

// The stamp of the line and tones logs, "2026-12-09T21:04:05+01:00" (or "...Z" for UTC): its
// local minute, and in `utc_offset_minutes` how far that local time is ahead of UTC; -1 when it
// is not that form, not a real date and time, or outside the years 2000 to 2099.
WallMinute read_line_stamp(std::string_view stamp, std::int32_t& utc_offset_minutes);

// read_line_stamp for the lines of one log in turn: the date of the line before is kept, so that
// a log's half a million stamps a year have their calendar date worked out once a day.
class LineStampReader {
  public:
    WallMinute read(std::string_view stamp, std::int32_t& utc_offset_minutes);

  private:
    char date_[10] = {};         // "YYYY-MM-DD" of the last stamp read
    WallMinute day_start_ = -1;  // its minute at 00:00; -1 before any
};

// The calendar fields of a minute.
struct StampFields {
    int year, month, day, hour, minute;
};
StampFields stamp_fields(WallMinute minute);
// The minute of the fields; -1 when they are not a real date and time.
WallMinute minute_of(const StampFields& fields);

// "dd/mm/yy hh:mm", the form the key figures print.
std::string format_stamp(WallMinute minute);
// "dd/mm/yy", the day alone.
std::string format_day(WallMinute minute);
