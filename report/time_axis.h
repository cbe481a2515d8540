// The report's time axis: the period the charts span, cut into buckets of whole hours or days
// (at most about 500, for the charts over time) and into at most 400 heat map columns.
#pragma once

#include <cstdint>

#include "report/wall_minutes.h"

struct TimeSlices {
    WallMinute start = 0;    // of the first slice
    std::int32_t width = 1;  // minutes a slice
    std::int32_t count = 1;

    // The slice of a stamp; stamps outside the period (a clock that jumped) go to the nearer end.
    std::int32_t index(WallMinute stamp) const {
        const std::int64_t slice = (static_cast<std::int64_t>(stamp) - start) / width;
        return slice < 0 ? 0 : slice >= count ? count - 1 : static_cast<std::int32_t>(slice);
    }
    WallMinute slice_start(std::int32_t slice) const { return start + slice * width; }
};

inline constexpr std::int32_t most_buckets = 500;
inline constexpr std::int32_t most_heat_columns = 400;

// Hour buckets when the period has at most 500 clock hours, else day buckets (several days each
// when it has more than 500 days), aligned to the clock.
TimeSlices time_buckets(WallMinute first, WallMinute last);
// Heat map columns of equal width in minutes, from the first minute, at most 400.
TimeSlices heat_columns(WallMinute first, WallMinute last);
