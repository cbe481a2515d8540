// Reads the statistics log into its aggregates.
#include "report/read_statistics.h"

#include <unordered_map>

namespace {

constexpr std::size_t fixed_columns = 7;  // date, time and the five counter changes

// The sums of CRC changes per clock hour, kept as the lines go by; the hour being filled is held
// apart, so the table is touched once an hour, not once a line.
class HourSums {
  public:
    void add(WallMinute stamp, std::int64_t errors) {
        const std::int32_t hour = stamp / minutes_per_hour;
        if (hour != current_hour_) {
            flush();
            current_hour_ = hour;
        }
        current_sum_ = saturated_sum(current_sum_, errors);
    }
    void worst(WallMinute& hour_start, std::int64_t& errors) {
        flush();
        hour_start = -1;
        errors = 0;
        for (const auto& [hour, sum] : sums_) {
            if (sum > errors ||
                (sum == errors && sum > 0 && hour * minutes_per_hour < hour_start)) {
                errors = sum;
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

std::int32_t count_fields(std::string_view line) {
    std::int32_t fields = 1;
    for (const char c : line) fields += c == ',' ? 1 : 0;
    return fields;
}

}  // namespace

LogRead read_statistics(const std::string& path, const ReportPeriod& period,
                        StatisticsFigures& figures, std::atomic<std::int64_t>* bytes_read) {
    const auto buckets = static_cast<std::size_t>(period.buckets.count);
    figures.error_buckets.assign(buckets, {});
    figures.collections_per_bucket.assign(buckets, 0);
    LogQuality& quality = figures.quality;
    HourSums crc_hours;

    const auto on_header = [&](std::string_view header) {
        quality.header_columns = count_fields(header);
        FieldCursor fields(header);
        std::string_view field;
        for (std::size_t k = 0; fields.next(field); ++k)
            if (k >= fixed_columns) figures.labels.emplace_back(field);
    };
    const auto no_extra_header = [](std::string_view) { return false; };
    const auto on_line = [&](std::string_view line, WallMinute stamp) {
        figures.spacings.add(stamp);
        const auto bucket = static_cast<std::size_t>(period.buckets.index(stamp));
        ++figures.collections_per_bucket[bucket];
        FieldCursor fields(line);
        std::string_view field;
        std::size_t k = 0;
        for (; fields.next(field); ++k) {
            if (k < 2) continue;
            if (k < fixed_columns) {
                std::int64_t change = 0;
                if (!whole_number(field, change)) {
                    ++quality.not_numbers;
                    continue;
                }
                std::int64_t& total = figures.error_totals[k - 2];
                total = saturated_sum(total, change);
                std::int64_t& in_bucket = figures.error_buckets[bucket][k - 2];
                in_bucket = saturated_sum(in_bucket, change);
                if (k - 2 == crc) crc_hours.add(stamp, change);
                continue;
            }
            const std::size_t column = k - fixed_columns;
            if (column >= most_reply_columns || field.empty()) continue;
            if (column >= figures.columns.size()) figures.columns.resize(column + 1);
            ReplyColumn& reply_column = figures.columns[column];
            double value = 0;
            if (!leading_number(field, value)) {
                ++reply_column.not_numbers;
                continue;
            }
            if (reply_column.buckets.empty()) reply_column.buckets.resize(buckets);
            reply_column.buckets[bucket].add(value);
            ++reply_column.numbers;
        }
        const auto columns = static_cast<std::int32_t>(k);
        if (quality.usual_columns == 0) quality.usual_columns = columns;
        if (columns != quality.usual_columns) ++quality.other_column_count;
    };
    const LogRead result =
        walk_log(path, period, quality, bytes_read, on_header, no_extra_header, on_line);
    crc_hours.worst(figures.worst_crc_hour, figures.worst_crc_errors);
    return result;
}
