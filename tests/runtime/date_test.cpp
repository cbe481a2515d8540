// Date values from wall-clock fields and the "%" masks of the log stamps, on a fixed clock.
#include "runtime/date.h"

#include <gtest/gtest.h>

#include <climits>
#include <ctime>

#include "harness/test_clock.h"

namespace {

class Dates : public ::testing::Test {
  protected:
    void TearDown() override { set_clock_source(nullptr); }
};

std::int64_t date_of(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return date_value(WallClock{year, month, day, hour, minute, second});
}

TEST_F(Dates, ValuesCountWallClockSecondsFrom1970) {
    EXPECT_EQ(date_of(1970, 1, 1), 0);
    EXPECT_EQ(date_of(1970, 1, 1, 1), 3600);
    EXPECT_EQ(date_of(2000, 3, 1), 951868800);
    EXPECT_EQ(date_of(2000, 2, 29, 23, 59, 59), 951868799);
    EXPECT_EQ(date_of(2038, 1, 19, 3, 14, 7), INT_MAX);
    EXPECT_EQ(date_of(2038, 1, 19, 3, 14, 8), std::int64_t{INT_MAX} + 1);
    EXPECT_EQ(date_of(2106, 2, 7, 6, 28, 16), std::int64_t{1} << 32);
}

TEST_F(Dates, InvalidFieldsGiveMinusOne) {
    const WallClock invalid[] = {
        {2026, 1, 1, 0, 0, 60},
        {2026, 1, 1, 0, 60, 0},
        {2026, 1, 1, 24, 0, 0},
        {2026, 1, 1, 0, -1, 0},
        {2026, 1, 0, 0, 0, 0},
        {2026, 1, 32, 0, 0, 0},
        {2026, 0, 1, 0, 0, 0},
        {2026, 13, 1, 0, 0, 0},
        {0, 1, 1, 0, 0, 0},
        {2026, 4, 31, 0, 0, 0},
        {2026, 6, 31, 0, 0, 0},
        {2026, 9, 31, 0, 0, 0},
        {2026, 11, 31, 0, 0, 0},
        {2024, 2, 30, 0, 0, 0},
        {2026, 2, 29, 0, 0, 0},
        {2100, 2, 29, 0, 0, 0},
        // Before what a date value counts from.
        {1969, 12, 31, 23, 59, 59},
    };
    for (const auto& f : invalid) {
        EXPECT_EQ(date_value(f), -1) << f.year << "-" << f.month << "-" << f.day << " " << f.hour
                                     << ":" << f.minute << ":" << f.second;
    }
    EXPECT_NE(date_of(2024, 2, 29), -1);
    EXPECT_NE(date_of(2000, 2, 29), -1);
    EXPECT_NE(date_of(2026, 12, 31, 23, 59, 59), -1);
}

TEST_F(Dates, MasksReplaceTokensInAnyCaseAndCopyTheRest) {
    struct Case {
        std::string_view mask;
        std::int64_t date;
        std::string_view expected;
    };
    const std::int64_t morning = date_of(2026, 12, 7, 9, 5, 3);
    const Case cases[] = {
        {"%yyyy-%mm-%dd %hh:%ii:%ss", 0, "1970-01-01 00:00:00"},
        {"%dd/%mm/%yy", morning, "07/12/26"},
        {"%hh:%ii", morning, "09:05"},
        {"%hh:%ii", date_of(2026, 12, 7, 17, 8), "17:08"},
        {"%YY|%yy|%YyYy|%HH%Ii%sS", morning, "26|26|2026|090503"},
        {"%%dd", morning, "%07"},
        {"%x %d %", morning, "%x %d %"},
        {"%yyy", morning, "26y"},
        {"no tokens here", morning, "no tokens here"},
        {"", morning, ""},
        {"%yyyy-%mm-%dd %hh:%ii:%ss", INT_MAX, "2038-01-19 03:14:07"},
        {"%yyyy-%mm-%dd %hh:%ii:%ss", std::int64_t{INT_MAX} + 1, "2038-01-19 03:14:08"},
        {"%dd/%mm/%yy", date_of(2100, 3, 1), "01/03/00"},
        // -1 and other negative values are formatted as the moments before 1970 they count.
        {"%yyyy-%mm-%dd %hh:%ii:%ss", -1, "1969-12-31 23:59:59"},
        {"%yyyy-%mm-%dd", INT_MIN, "1901-12-13"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_date(c.mask, c.date), c.expected) << c.mask;
}

TEST_F(Dates, CurrentDateReadsTheReplaceableClock) {
    test_clock = WallClock{2026, 12, 7, 17, 8, 59};
    set_clock_source(&read_test_clock);
    EXPECT_EQ(format_date("%dd/%mm/%yy %hh:%ii", current_date()), "07/12/26 17:08");
    test_clock = WallClock{2026, 2, 29, 0, 0, 0};
    EXPECT_EQ(current_date(), -1);
    set_clock_source(nullptr);
    EXPECT_GT(current_date(), date_of(2020, 1, 1));
}

TEST_F(Dates, UtcOffsetIsWrittenWithItsSignHoursAndMinutes) {
    const std::pair<int, std::string_view> cases[] = {
        {60, "+01:00"},   {0, "+00:00"},   {-300, "-05:00"}, {330, "+05:30"},
        {-570, "-09:30"}, {765, "+12:45"}, {-1, "-00:01"},   {-840, "-14:00"},
    };
    for (const auto& [minutes, text] : cases) EXPECT_EQ(format_utc_offset(minutes), text);
}

TEST_F(Dates, ClockReadingKeepsTheOffsetWithItsFields) {
    test_clock = WallClock{2026, 10, 25, 2, 30, 0, 120};
    set_clock_source(&read_test_clock);
    EXPECT_EQ(current_wall_clock().utc_offset_minutes, 120);
    // The system clock's fields less its offset are the UTC time now, in any time zone.
    set_clock_source(nullptr);
    const std::int64_t before = std::time(nullptr);
    const WallClock now = current_wall_clock();
    const std::int64_t after = std::time(nullptr);
    const std::int64_t utc = date_value(now) - std::int64_t{now.utc_offset_minutes} * 60;
    EXPECT_GE(utc, before);
    EXPECT_LE(utc, after);
}

}  // namespace
