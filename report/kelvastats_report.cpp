// kelvastats-report: turns the two logs of a directory into one self-contained HTML report and
// prints the key figures.
#include <cstdio>
#include <string>
#include <string_view>

#include "report/html_report.h"
#include "report/key_figures.h"
#include "report/read_logs.h"
#include "report/terminal.h"

namespace {

constexpr const char* usage =
    "Usage: kelvastats-report [--since YYYY-MM-DD] [--until YYYY-MM-DD] [--output FILE] [DIR]\n"
    "\n"
    "Reads the KelvaStats logs kelvastats.csv (statistics) and kelvabins.csv (bit loading) in\n"
    "DIR (default: the current directory) and writes one self-contained HTML report, which any\n"
    "browser opens and which prints on A4: key figures, errors over time with the gaps shaded,\n"
    "total bits over time, bit loading per tone, loading changes per tone, a heat map of bits per\n"
    "tone over time, the status reply's numeric columns over time, and the data quality.\n"
    "The logs are only read, and may be growing meanwhile: a last line without its line end is\n"
    "left out. With only one of the two logs, the report covers that one.\n"
    "\n"
    "  --since YYYY-MM-DD  leave out collections before this day\n"
    "  --until YYYY-MM-DD  leave out collections after this day (whole days, inclusive)\n"
    "  --output FILE       write the report to FILE (default: DIR/kelvastats-report.html)\n"
    "  --help              show this text\n"
    "\n"
    "The key figures go to standard output, one per line:\n"
    "  period: FIRST to LAST            (dd/mm/yy hh:mm, the first and last collection)\n"
    "  collections: N statistics, M bins\n"
    "  interval: N min                  (the median spacing)\n"
    "  gaps: N, M collections missing   (spacings longer than twice the interval plus a minute)\n"
    "  errors: FEC n, CRC n, HEC n, NCD n, OCD n   (only with a statistics log)\n"
    "  worst CRC hour: dd/mm/yy hh:00, N errors    (or none)\n"
    "  total bits: lowest N, highest N, latest N   (or none without a bins log)\n"
    "  skipped lines: N                 (unreadable stamps, a last line still being written)\n"
    "The period, interval and gaps come from the statistics log, else from the bins log.\n"
    "Progress shows on standard error when it is a terminal.\n"
    "\n"
    "Exit status: 0 when the report was written; 1 when neither log is in DIR, a file is not a\n"
    "KelvaStats log, the output cannot be written, or the command line is wrong.\n";

int fail(const std::string& message) {
    std::fprintf(stderr, "kelvastats-report: %s\n", message.c_str());
    return 1;
}

bool write_file(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

void show_progress(int percent) {
    std::fprintf(stderr, "\rreading the logs: %3d%%", percent);
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = ".";
    std::string output;
    WallMinute since = -1, until = -1;
    bool dir_given = false;
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        const bool takes_value = arg == "--since" || arg == "--until" || arg == "--output";
        if (takes_value && k + 1 >= argc) return fail(std::string(arg) + " needs a value");
        if (arg == "--since" || arg == "--until") {
            const WallMinute day = read_day(argv[++k]);
            if (day < 0)
                return fail(std::string(arg) + " takes a day as YYYY-MM-DD, not " + argv[k]);
            (arg == "--since" ? since : until) = day;
        } else if (arg == "--output") {
            output = argv[++k];
        } else if (arg.starts_with("-") || dir_given) {
            return fail("unknown argument " + std::string(arg) + " (see --help)");
        } else {
            dir = arg;
            dir_given = true;
        }
    }
    if (output.empty()) output = dir + "/kelvastats-report.html";

    LogFigures figures;
    const bool progress = stderr_is_terminal();
    read_logs(dir, since, until, figures, progress ? show_progress : std::function<void(int)>());
    if (progress) std::fputs("\r                         \r", stderr);
    for (const auto& [read, path] : {std::pair{figures.stats_read, figures.stats_path},
                                     std::pair{figures.bins_read, figures.bins_path}}) {
        if (read == LogRead::not_a_log)
            return fail(
                path + " is not a KelvaStats log (its first line is not a \"Date, Time,\" header)");
    }
    if (figures.stats_read == LogRead::missing && figures.bins_read == LogRead::missing)
        return fail("neither kelvastats.csv nor kelvabins.csv is in " + dir);
    if (!write_file(output, html_report(figures)))
        return fail("cannot write the report to " + output);
    std::fputs(key_figures_text(figures).c_str(), stdout);
    return 0;
}
