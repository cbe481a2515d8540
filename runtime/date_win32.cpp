// The local clock read from one reading of the system time, turned local with the time zone's
// current bias as GetLocalTime turns it, so the fields are the ones GetLocalTime would give and
// the UTC offset is the bias that made them. No time_t, whose width would otherwise decide the last
// year the program can stamp. Every call here exists on Windows 7.
#include <windows.h>

#include <cstdint>

#include "runtime/local_clock.h"

namespace {

constexpr std::int64_t file_time_units_per_minute = 60LL * 10'000'000;  // units of 100 ns

std::int64_t file_time_units(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

WallClock fields_of(const SYSTEMTIME& local, int utc_offset_minutes) {
    return WallClock{local.wYear,   local.wMonth,  local.wDay,        local.wHour,
                     local.wMinute, local.wSecond, utc_offset_minutes};
}

}  // namespace

WallClock read_local_clock() {
    FILETIME utc{};
    GetSystemTimeAsFileTime(&utc);
    FILETIME local_time{};
    SYSTEMTIME local{};
    if (FileTimeToLocalFileTime(&utc, &local_time) && FileTimeToSystemTime(&local_time, &local)) {
        const std::int64_t offset_units = file_time_units(local_time) - file_time_units(utc);
        return fields_of(local, static_cast<int>(offset_units / file_time_units_per_minute));
    }
    // Not expected; the local fields then come as before, the offset from the zone's bias.
    GetLocalTime(&local);
    TIME_ZONE_INFORMATION zone{};
    const DWORD zone_id = GetTimeZoneInformation(&zone);
    LONG bias = zone.Bias;  // UTC = local + bias
    if (zone_id == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
    if (zone_id == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
    return fields_of(local, zone_id == TIME_ZONE_ID_INVALID ? 0 : static_cast<int>(-bias));
}
