// kelvastats-report: turns the two logs of a directory into one self-contained HTML report and
// prints the key figures.
#include <CLI/CLI.hpp>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "report/html_report.h"
#include "report/key_figures.h"
#include "report/line_key_figures.h"
#include "report/line_page.h"
#include "report/open_in_browser.h"
#include "report/read_line_logs.h"
#include "report/read_logs.h"
#include "report/terminal.h"
#include "runtime/option_words.h"
#include "runtime/version.h"

namespace {

constexpr const char* program_name = "kelvastats-report";

// Exit statuses, as --help tells them.
constexpr int written = 0;
constexpr int failed = 1;
constexpr int written_not_opened = 2;

constexpr const char* description =
    "Reads the KelvaStats logs in DIR (default: the current directory) and writes one\n"
    "self-contained HTML report, which any browser opens and which prints on A4.\n"
    "The logs of a Broadcom or DrayTek router, kelvaline.csv (the line) and kelvatones.csv (bits\n"
    "and SNR per tone): key figures with the retrains and the errors per direction summed across\n"
    "them, errors over time, the rates and SNR margins over time, bits per tone, bitswap per "
    "tone,\n"
    "a heat map of bits per tone over time, SNR per tone, and the data quality.\n"
    "The classic logs, kelvastats.csv (statistics) and kelvabins.csv (bit loading): key figures,\n"
    "errors over time, total bits over time, bit loading and loading changes per tone, a heat "
    "map,\n"
    "the status reply's numeric columns over time, and the data quality.\n"
    "Where both are in DIR, the report is made from kelvaline.csv and kelvatones.csv, and a line\n"
    "on standard error says so. The logs are only read, and may be growing meanwhile: a last line\n"
    "without its line end is left out. With only one log of a pair, the report covers that one.\n";

constexpr const char* footer =
    "Days are YYYY-MM-DD, from 2000-01-01 to 2099-12-31: the logs' stamps name the year by\n"
    "its last two digits. An option's value may follow it or an = (--since=2026-12-01).\n"
    "\n"
    "The key figures go to standard output, one per line. For kelvaline.csv and kelvatones.csv:\n"
    "  period: FIRST to LAST            (dd/mm/yy hh:mm, local time: the first and last "
    "collection)\n"
    "  collections: N line, M tones\n"
    "  interval: N min                  (the median spacing)\n"
    "  gaps: N, M collections missing   (spacings longer than twice the interval plus a minute;\n"
    "                                    a clock change with the UTC offset is no gap)\n"
    "  showtime: P% of collections (N of M)\n"
    "  retrains: N                      (a running counter fell, or the line left showtime)\n"
    "  errors down: FEC n, CRC n, ES n, SES n, UAS n   (the counters' growth, summed across\n"
    "  errors up: FEC n, CRC n, ES n, SES n, UAS n      retrains; up is the far end)\n"
    "  worst CRC hour: dd/mm/yy hh:00, N errors        (both directions; or none)\n"
    "  SNR margin down: lowest X, highest Y, latest Z  (dB, in showtime; or none)\n"
    "  SNR margin up: lowest X, highest Y, latest Z\n"
    "  rate down: lowest X, highest Y, latest Z        (kbit/s, and the same for rate up,\n"
    "  attainable down: lowest X, highest Y, latest Z   attainable down and attainable up)\n"
    "  tones: N\n"
    "  skipped lines: N                 (unreadable stamps, a last line still being written,\n"
    "                                    bitswap lines with no bits line before them)\n"
    "For kelvastats.csv and kelvabins.csv:\n"
    "  period: FIRST to LAST            (dd/mm/yy hh:mm, the first and last collection)\n"
    "  collections: N statistics, M bins\n"
    "  interval: N min\n"
    "  gaps: N, M collections missing\n"
    "  errors: FEC n, CRC n, HEC n, NCD n, OCD n   (only with a statistics log)\n"
    "  worst CRC hour: dd/mm/yy hh:00, N errors    (or none)\n"
    "  total bits: lowest N, highest N, latest N   (or none without a bins log)\n"
    "  skipped lines: N                 (unreadable stamps, a last line still being written)\n"
    "The period, interval and gaps come from the line (statistics) log, else from the other.\n"
    "Progress shows on standard error when it is a terminal; errors go there in one line.\n"
    "On Windows, kelvastats-report.exe started from Explorer with no arguments reports on the\n"
    "logs in its own folder and opens the report.\n"
    "\n"
    "Exit status: 0 when the report was written (and, with --open, opened); 1 when no log is in\n"
    "DIR, a file is not a KelvaStats log, the output cannot be written, or the command line is\n"
    "wrong; 2 when the report was written but could not be opened.";

bool double_clicked = false;

int fail(const std::string& message, int status = failed) {
    std::string line = message;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "%s: %s\n", program_name, line.c_str());
    if (double_clicked) show_message_box(line);
    return status;
}

constexpr int rename_attempts = 50;
constexpr int rename_pause_ms = 20;

// Writes a temporary file beside `path` and renames it over `path`, so that a reader (a web
// server, a browser, the collector's next report) sees the earlier page or the whole new one,
// never half of one. The temporary one is removed when anything fails.
bool write_file(const std::string& path, const std::string& bytes) {
    // A name of its own for each run, so that two reports to the same file cannot mix.
    std::random_device random;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
    const std::string temporary = path + suffix;
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::error_code error;
    if (std::fclose(file) == 0 && written) {
        // On Windows a reader that holds the page open without sharing its deletion stops the
        // rename for the moment it reads: tried again for a while.
        for (int attempt = 0; attempt < rename_attempts; ++attempt) {
            if (attempt > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(rename_pause_ms));
            std::filesystem::rename(temporary, path, error);
            if (!error) return true;
        }
    }
    std::filesystem::remove(temporary, error);
    return false;
}

void show_progress(int percent) {
    std::fprintf(stderr, "\rreading the logs: %3d%%", percent);
    std::fflush(stderr);
}

// The message for the first of a pair of logs that is not a KelvaStats log (its first line does
// not begin with `header`); "" when neither is such a file.
std::string not_a_log(std::array<LogRead, 2> reads, std::array<std::string, 2> paths,
                      const char* header) {
    for (std::size_t k = 0; k < 2; ++k)
        if (reads[k] == LogRead::not_a_log)
            return paths[k] + " is not a KelvaStats log (its first line is not a \"" + header +
                   "\" header)";
    return "";
}

// The day of --since or --until; false, with the message said, when it is not one the logs hold.
bool day_option(const std::string& option, const std::string& text, WallMinute& day) {
    if (text.empty()) return true;
    day = read_day(text);
    if (day == day_outside_logs) {
        fail(option + " " + text +
             " is outside the days the logs can hold, 2000-01-01 to 2099-12-31");
        return false;
    }
    if (day < 0) {
        fail(option + " takes a day as YYYY-MM-DD, not " + text);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = ".";
    std::string output, since_text, until_text;
    bool open = false;

    CLI::App app(description, program_name);
    app.allow_windows_style_options(false);  // "/data/logs" is a folder on every system
    // An option given twice takes its last value, as in the collector.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.set_version_flag("--version",
                         std::string(program_name) + " " + std::string(program_version()),
                         "print the program's name and version, then exit");
    app.add_option("--since", since_text, "leave out collections before this day")
        ->type_name("YYYY-MM-DD");
    app.add_option("--until", until_text,
                   "leave out collections after this day (whole days, inclusive)")
        ->type_name("YYYY-MM-DD");
    app.add_option("--output", output,
                   "write the report to FILE (default: DIR/kelvastats-report.html)")
        ->type_name("FILE");
    app.add_flag("--open", open, "open the written report in the desktop's browser");
    app.add_option("DIR", dir, "the folder of the two logs (default: the current directory)")
        ->type_name("");
    app.footer(footer);
    if (const std::string_view word = option_without_value(argc, argv); !word.empty())
        return fail(std::string(word) + " has no value after the \"=\" (see --help)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {  // --help and --version
        return app.exit(done);
    } catch (const CLI::ParseError& error) {
        return fail(std::string(error.what()) + " (see --help)");
    }
    if (argc == 1) {
        const std::string folder = double_click_folder();
        if (!folder.empty()) {
            double_clicked = true;
            dir = folder;
            open = true;
        }
    }
    WallMinute since = -1, until = -1;
    if (!day_option("--since", since_text, since) || !day_option("--until", until_text, until))
        return failed;
    if (output.empty()) output = (std::filesystem::path(dir) / "kelvastats-report.html").string();

    const bool progress = stderr_is_terminal();
    const std::function<void(int)> show = progress ? show_progress : std::function<void(int)>();
    const auto read_done = [&] {
        if (progress) std::fputs("\r                         \r", stderr);
    };
    std::string html, key_figures, why;
    if (has_line_logs(dir)) {
        LineLogsFigures figures;
        read_line_logs(dir, since, until, figures, show);
        read_done();
        why = not_a_log({figures.line_read, figures.tones_read},
                        {figures.line_path, figures.tones_path}, "Time,");
        if (!why.empty()) return fail(why);
        if (figures.classic_logs_too)
            std::fprintf(stderr,
                         "%s: kelvastats.csv or kelvabins.csv is in %s too; this report is made "
                         "from kelvaline.csv and kelvatones.csv\n",
                         program_name, dir.c_str());
        html = line_report_html(figures);
        key_figures = line_key_figures_text(figures);
    } else {
        LogFigures figures;
        read_logs(dir, since, until, figures, show);
        read_done();
        why = not_a_log({figures.stats_read, figures.bins_read},
                        {figures.stats_path, figures.bins_path}, "Date, Time,");
        if (!why.empty()) return fail(why);
        if (figures.stats_read == LogRead::missing && figures.bins_read == LogRead::missing)
            return fail(
                "neither kelvastats.csv nor kelvabins.csv nor kelvaline.csv nor kelvatones.csv "
                "is in " +
                dir);
        html = html_report(figures);
        key_figures = key_figures_text(figures);
    }
    if (!write_file(output, html)) return fail("cannot write the report to " + output);
    std::fputs(key_figures.c_str(), stdout);
    std::fflush(stdout);
    if (open) {
        std::error_code error;
        const std::filesystem::path whole = std::filesystem::absolute(output, error);
        const std::string why = open_in_browser(error ? output : whole.string());
        if (!why.empty())
            return fail("the report is in " + output + " but cannot be opened: " + why,
                        written_not_opened);
    }
    return written;
}
