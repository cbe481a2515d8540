// Reads the statistics log into its aggregates.
#include "report/read_statistics.h"

#include <cstdint>
#include <string>
#include <vector>

#include "report/hour_sums.h"

namespace {

constexpr std::size_t fixed_columns = 7;  // date, time and the five counter changes

// The status reply's values, column by column, into the columns' figures. Most of the reply stays
// the same from one collection to the next, and is not read again: the bytes a line has in common
// with the line before, from the reply's start, hold the same fields, which are counted without a
// look; after them, a field equal to its column's last text is matched with one comparison. The
// figures of the bucket being filled are kept beside that text, in one small array, and go to the
// column's own buckets when the bucket changes, in the order they came.
class ReplyValues {
  public:
    ReplyValues(std::vector<ReplyColumn>& columns, std::size_t buckets)
        : columns_(columns), buckets_(buckets), states_(most_reply_columns) {}

    void start_line(std::size_t bucket) {
        if (bucket == bucket_) return;
        keep_bucket();
        bucket_ = bucket;
        for (std::size_t column = 0; column < columns_.size(); ++column) {
            const std::vector<BucketValues>& kept = columns_[column].buckets;
            states_[column].bucket = kept.empty() ? BucketValues{} : kept[bucket];
        }
    }

    // Reads the reply's part of a line, the bytes after the comma that ends the five changes;
    // gives its number of fields.
    std::size_t read_line(std::string_view reply) {
        const std::size_t same = common_prefix(reply, last_reply_);
        std::size_t column = 0;
        std::size_t start = 0;  // of the field of `column`
        // The fields whose comma lies among the bytes in common.
        for (; column < last_ends_.size() && last_ends_[column] < same; ++column) {
            if (column < most_reply_columns && last_ends_[column] > start) count(states_[column]);
            start = last_ends_[column] + 1;
        }
        last_ends_.resize(column);
        FieldCursor fields(reply.substr(start));
        for (std::size_t length = 0; read(fields, column, length); ++column) {
            last_ends_.push_back(start + length);
            start += length + 1;
        }
        last_reply_.assign(reply);
        return column;
    }

    // After the log's last line.
    void finish() {
        keep_bucket();
        for (std::size_t column = 0; column < columns_.size(); ++column) {
            columns_[column].numbers = states_[column].numbers;
            columns_[column].not_numbers = states_[column].not_numbers;
        }
    }

  private:
    struct State {
        std::string text;  // the column's last text that was not empty
        bool number = false;
        double value = 0;
        BucketValues bucket;  // the values of the bucket being filled
        std::int64_t numbers = 0;
        std::int64_t not_numbers = 0;
    };

    static void count(State& state) {
        if (!state.number) {
            ++state.not_numbers;
            return;
        }
        state.bucket.add(state.value);
        ++state.numbers;
    }

    // Reads the field of `column` at the cursor, whose length goes to `length`; false after
    // the line's last field.
    bool read(FieldCursor& fields, std::size_t column, std::size_t& length) {
        std::string_view field;
        if (column >= most_reply_columns) {  // not charted
            if (!fields.next(field)) return false;
            length = field.size();
            return true;
        }
        State& state = states_[column];
        if (fields.pass_if(state.text)) {  // the usual field: its column is known already
            length = state.text.size();
            if (length > 0) count(state);
            return true;
        }
        if (!fields.next(field)) return false;
        length = field.size();
        if (field.empty()) return true;
        state.text.assign(field);
        state.number = leading_number(field, state.value);
        if (column >= columns_.size()) columns_.resize(column + 1);
        // A column's buckets are made with its first number.
        if (state.number && state.numbers == 0) columns_[column].buckets.resize(buckets_);
        count(state);
        return true;
    }

    void keep_bucket() {
        if (bucket_ == no_bucket) return;
        for (std::size_t column = 0; column < columns_.size(); ++column) {
            std::vector<BucketValues>& kept = columns_[column].buckets;
            if (!kept.empty()) kept[bucket_] = states_[column].bucket;
        }
    }

    static constexpr std::size_t no_bucket = SIZE_MAX;
    std::vector<ReplyColumn>& columns_;
    const std::size_t buckets_;
    std::vector<State> states_;
    std::size_t bucket_ = no_bucket;
    std::string last_reply_;              // the last line's reply
    std::vector<std::size_t> last_ends_;  // where each of its fields ends in it
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
    ReplyValues reply(figures.columns, buckets);
    const auto on_line = [&](std::string_view line, WallMinute stamp) {
        figures.spacings.add(stamp);
        const auto bucket = static_cast<std::size_t>(period.buckets.index(stamp));
        ++figures.collections_per_bucket[bucket];
        reply.start_line(bucket);
        FieldCursor fields(line);
        std::string_view field;
        std::int32_t small_number = 0;
        std::size_t k = 0;
        for (; k < fixed_columns && fields.next(field, small_number); ++k) {
            if (k < 2) continue;
            std::int64_t change = small_number;
            if (small_number < 0 && !whole_number(field, change)) {
                ++quality.not_numbers;
                continue;
            }
            std::int64_t& total = figures.error_totals[k - 2];
            total = saturated_sum(total, change);
            std::int64_t& in_bucket = figures.error_buckets[bucket][k - 2];
            in_bucket = saturated_sum(in_bucket, change);
            if (k - 2 == crc) crc_hours.add(stamp, change);
        }
        if (k == fixed_columns && !fields.at_end()) k += reply.read_line(fields.rest());
        const auto columns = static_cast<std::int32_t>(k);
        if (quality.usual_columns == 0) quality.usual_columns = columns;
        if (columns != quality.usual_columns) ++quality.other_column_count;
    };
    const LogRead result =
        walk_log(path, period, quality, bytes_read, on_header, no_extra_header, on_line);
    reply.finish();
    crc_hours.worst(figures.worst_crc_hour, figures.worst_crc_errors);
    return result;
}
