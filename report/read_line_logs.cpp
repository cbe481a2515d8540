// Reads the line log and the tones log of a directory, one thread each (the tones log, the
// larger, splits itself in two when it is large).
#include "report/read_line_logs.h"

#include <filesystem>
#include <future>

#include "report/log_reading.h"
#include "report/read_line_log.h"
#include "report/read_tones_log.h"

namespace {

bool log_exists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace

bool has_line_logs(const std::string& dir) {
    const std::filesystem::path folder(dir.empty() ? "." : dir);
    return log_exists(folder / "kelvaline.csv") || log_exists(folder / "kelvatones.csv");
}

void read_line_logs(const std::string& dir, WallMinute since, WallMinute until,
                    LineLogsFigures& figures, const std::function<void(int)>& progress) {
    const std::filesystem::path folder(dir.empty() ? "." : dir);
    figures.line_path = (folder / "kelvaline.csv").string();
    figures.tones_path = (folder / "kelvatones.csv").string();
    figures.classic_logs_too =
        log_exists(folder / "kelvastats.csv") || log_exists(folder / "kelvabins.csv");
    figures.period =
        period_of({figures.line_path, figures.tones_path}, line_log_stamp, since, until);

    std::atomic<std::int64_t> bytes_read{0};
    std::future<LogRead> tones = std::async(std::launch::async, [&] {
        return read_tones_log(figures.tones_path, figures.period, figures.tones, &bytes_read);
    });
    std::future<LogRead> line = std::async(std::launch::async, [&] {
        return read_line_log(figures.line_path, figures.period, figures.line, &bytes_read);
    });
    follow_readers({&tones, &line}, bytes_read,
                   size_of(figures.line_path) + size_of(figures.tones_path), progress);
    figures.tones_read = tones.get();
    figures.line_read = line.get();
}
