// Reads both logs of a directory, one thread each.
#include "report/read_logs.h"

#include <filesystem>
#include <future>

#include "report/log_reading.h"
#include "report/read_bins.h"
#include "report/read_statistics.h"

void read_logs(const std::string& dir, WallMinute since, WallMinute until, LogFigures& figures,
               const std::function<void(int)>& progress) {
    const std::filesystem::path folder(dir.empty() ? "." : dir);
    figures.stats_path = (folder / "kelvastats.csv").string();
    figures.bins_path = (folder / "kelvabins.csv").string();
    figures.period = period_of({figures.stats_path, figures.bins_path}, line_stamp, since, until);

    std::atomic<std::int64_t> bytes_read{0};
    std::future<LogRead> bins = std::async(std::launch::async, [&] {
        return read_bins(figures.bins_path, figures.period, figures.bins, &bytes_read);
    });
    std::future<LogRead> stats = std::async(std::launch::async, [&] {
        return read_statistics(figures.stats_path, figures.period, figures.stats, &bytes_read);
    });
    follow_readers({&bins, &stats}, bytes_read,
                   size_of(figures.stats_path) + size_of(figures.bins_path), progress);
    figures.bins_read = bins.get();
    figures.stats_read = stats.get();
}
