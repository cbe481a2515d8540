// Sums of a count per clock hour, kept as the lines go by, and the hour with the largest sum.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "report/log_fields.h"
#include "report/wall_minutes.h"

// The hour being filled is held apart, so the table is touched once an hour, not once a line.
class HourSums {
  public:
    void add(WallMinute stamp, std::int64_t count) {
        const std::int32_t hour = stamp / minutes_per_hour;
        if (hour != current_hour_) {
            flush();
            current_hour_ = hour;
        }
        current_sum_ = saturated_sum(current_sum_, count);
    }
    // The hour with the largest sum (the earliest of equals) as its first minute, and the sum;
    // -1 and 0 when no hour has a sum above 0.
    void worst(WallMinute& hour_start, std::int64_t& sum_of_hour) {
        flush();
        hour_start = -1;
        sum_of_hour = 0;
        for (const auto& [hour, sum] : sums_) {
            if (sum > sum_of_hour ||
                (sum == sum_of_hour && sum > 0 && hour * minutes_per_hour < hour_start)) {
                sum_of_hour = sum;
                hour_start = hour * minutes_per_hour;
            }
        }
    }

  private:
    void flush() {
        if (current_hour_ >= 0 && current_sum_ != 0) {
            std::int64_t& sum = sums_[current_hour_];
            sum = saturated_sum(sum, current_sum_);
        }
        current_sum_ = 0;
    }
    std::unordered_map<std::int32_t, std::int64_t> sums_;
    std::int32_t current_hour_ = -1;
    std::int64_t current_sum_ = 0;
};
