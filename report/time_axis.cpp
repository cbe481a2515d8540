// The report's time axis.
#include "report/time_axis.h"

#include <algorithm>

namespace {

std::int64_t floor_div(std::int64_t value, std::int64_t divisor) {
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

TimeSlices aligned(WallMinute first, WallMinute last, std::int32_t width) {
    const std::int64_t first_slice = floor_div(first, width);
    const std::int64_t last_slice = floor_div(last, width);
    return {static_cast<WallMinute>(first_slice * width), width,
            static_cast<std::int32_t>(last_slice - first_slice + 1)};
}

}  // namespace

TimeSlices time_buckets(WallMinute first, WallMinute last) {
    last = std::max(first, last);
    const TimeSlices hours = aligned(first, last, minutes_per_hour);
    if (hours.count <= most_buckets) return hours;
    const TimeSlices days = aligned(first, last, minutes_per_day);
    const std::int32_t days_a_bucket = (days.count + most_buckets - 1) / most_buckets;
    return aligned(first, last, days_a_bucket * minutes_per_day);
}

TimeSlices heat_columns(WallMinute first, WallMinute last) {
    last = std::max(first, last);
    const std::int64_t minutes = static_cast<std::int64_t>(last) - first + 1;
    const auto width =
        static_cast<std::int32_t>((minutes + most_heat_columns - 1) / most_heat_columns);
    return {first, width, static_cast<std::int32_t>((minutes + width - 1) / width)};
}
