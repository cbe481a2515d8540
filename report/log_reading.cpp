// The period of a report from the first and last lines of its logs, and the progress of reading.
#include "report/log_reading.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "report/line_reader.h"

namespace {

// Header and frequency rows are passed over; a log whose first stamps are all unreadable is
// still read in full, its period then starting at its first readable stamp seen in the tail.
constexpr int head_lines = 64;

struct StampRange {
    WallMinute first = -1;
    WallMinute last = -1;
};

StampRange stamp_range(const std::string& path, StampReader stamp_of) {
    StampRange range;
    {
        LineReader head(path);
        std::string_view line;
        LineEnd end;
        for (int k = 0; k < head_lines && range.first < 0 && head.next(line, end); ++k)
            if (end == LineEnd::line_feed) range.first = stamp_of(line);
    }
    const std::string tail = log_tail(path);
    std::string_view rest = tail;
    while (!rest.empty() && range.last < 0) {
        rest.remove_suffix(1);  // the line feed
        const std::size_t start = rest.rfind('\n');
        std::string_view line = rest.substr(start == std::string_view::npos ? 0 : start + 1);
        rest.remove_suffix(line.size());
        if (line.ends_with('\r')) line.remove_suffix(1);
        range.last = stamp_of(line);
    }
    if (range.first < 0) range.first = range.last;
    if (range.last < 0) range.last = range.first;
    return range;
}

}  // namespace

ReportPeriod period_of(const std::vector<std::string>& paths, StampReader stamp_of,
                       WallMinute since, WallMinute until) {
    ReportPeriod period;
    if (since >= 0) period.since = since;
    if (until >= 0) period.until = until + minutes_per_day - 1;
    WallMinute first = -1, last = -1;
    for (const std::string& path : paths) {
        const StampRange range = stamp_range(path, stamp_of);
        if (range.first < 0) continue;
        first = first < 0 ? range.first : std::min(first, range.first);
        last = last < 0 ? range.last : std::max(last, range.last);
    }
    if (first < 0) first = last = since >= 0 ? period.since : 0;
    first = std::clamp(first, period.since, std::max(period.since, period.until));
    last = std::clamp(last, first, std::max(first, period.until));
    period.buckets = time_buckets(first, last);
    period.heat = heat_columns(first, last);
    return period;
}

std::int64_t split_offset(const std::string& path, std::int64_t split_at) {
    if (split_at >= 0) return split_at;
    // Below this size one thread reads the log in well under a second.
    constexpr std::int64_t split_from_bytes = std::int64_t{64} << 20;
    const std::int64_t size = size_of(path);
    return size >= split_from_bytes ? size / 2 : 0;
}

std::int64_t size_of(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::int64_t>(size);
}

void follow_readers(std::initializer_list<std::future<LogRead>*> readers,
                    const std::atomic<std::int64_t>& bytes_read, std::int64_t total_bytes,
                    const std::function<void(int)>& progress) {
    if (!progress) return;
    const std::int64_t total = std::max<std::int64_t>(1, total_bytes);
    int shown = -1;
    const auto show = [&] {
        const int percent =
            static_cast<int>(std::min<std::int64_t>(100, bytes_read.load() * 100 / total));
        if (percent != shown) progress(shown = percent);
    };
    for (std::future<LogRead>* reader : readers)
        while (reader->wait_for(std::chrono::milliseconds(200)) != std::future_status::ready)
            show();
    show();
}
