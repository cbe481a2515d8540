// kelvastats_bench: what one collection costs. Parsing and the four extractions on the fixture
// "show adsl" reply and on a full 8192-byte read of 255 lines, one whole statistics step and one
// whole bins step into real logs in a temporary directory, and the primitives the parsers lean
// on. The log steps also report how many system writes a line takes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/settings.h"
#include "runtime/file_layer.h"
#include "runtime/text.h"
#include "runtime/tone.h"
#include "runtime/ui_calls.h"
#include "stats/bins_log.h"
#include "stats/pending_lines.h"
#include "stats/statistics_log.h"
#include "stats/status_reply.h"
#include "tools/router_replies.h"

namespace {

void no_tone(std::int32_t, std::int32_t) {}
void no_status(int, int, std::string_view) {}
int no_box(std::string_view, std::string_view, int) { return 1; }

// 255 lines of 32 bytes and a tail without a line feed: a full 8192-byte read with as many
// lines as a reply can have.
std::string full_read_reply() {
    std::string reply;
    for (int line = 0; line < 255; ++line) {
        std::string text = "Label " + std::to_string(line) + " =\t\t" + std::to_string(line * 7) + " dB";
        text.resize(30, ' ');
        reply += text + "\r\n";
    }
    reply.resize(8192, 'x');
    return reply;
}

void parse_all(std::string_view reply) {
    TextArray lines;
    const std::int32_t n = split_reply_lines(reply, lines);
    for (std::int32_t k = 2; k <= n + 1; ++k) {
        benchmark::DoNotOptimize(column_label(lines[k]));
        benchmark::DoNotOptimize(column_value(lines[k]));
    }
    for (std::int32_t k = fec_line; k <= ocd_line; ++k) benchmark::DoNotOptimize(counter_value(lines[k]));
}

void BM_ParseStatusReply(benchmark::State& state) {
    const std::string reply = show_adsl_reply({812, 3, 1, 0, 0});
    for (auto _ : state) parse_all(reply);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(reply.size()));
}
BENCHMARK(BM_ParseStatusReply);

void BM_ParseFullRead(benchmark::State& state) {
    const std::string reply = full_read_reply();
    for (auto _ : state) parse_all(reply);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(reply.size()));
}
BENCHMARK(BM_ParseFullRead);

// Runs in a fresh temporary directory with the window, clock-independent parts and tones quiet.
class LogDirectory {
public:
    LogDirectory() {
        char dir[] = "/tmp/kelva-bench-XXXXXX";
        if (!mkdtemp(dir) || chdir(dir) != 0) std::abort();
        path_ = dir;
        set_tone_output(&no_tone);
        install_ui_calls({&no_status, &no_box});
        reset_settings_to_defaults();
        reset_pending_log_lines();
    }
    ~LogDirectory() {
        unlink("kelvastats.csv");
        unlink("kelvabins.csv");
        rmdir(path_.c_str());
    }

private:
    std::string path_;
};

void BM_StatisticsStep(benchmark::State& state) {
    LogDirectory directory;
    settings.received_text = show_adsl_reply({812, 3, 1, 0, 0});
    write_statistics();  // creates the log with its header
    const std::int64_t writes_before = file_write_calls();
    for (auto _ : state) write_statistics();
    state.counters["writes_per_line"] =
        static_cast<double>(file_write_calls() - writes_before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_StatisticsStep);

void BM_BinsStep(benchmark::State& state) {
    LogDirectory directory;
    settings.received_text = showbins_reply(0);
    std::int64_t writes_before = file_write_calls();
    write_bins();  // the two header lines and the first data line
    const std::int64_t first_step_writes = file_write_calls() - writes_before;
    writes_before = file_write_calls();
    for (auto _ : state) write_bins();
    const double line_writes =
        static_cast<double>(file_write_calls() - writes_before) / static_cast<double>(state.iterations());
    state.counters["writes_per_line"] = line_writes;
    state.counters["writes_headers_and_line"] = static_cast<double>(first_step_writes);
}
BENCHMARK(BM_BinsStep);

void BM_Mid(benchmark::State& state) {
    const std::string line = "   12   13.5   30   4    15   14.0   28   3    16   12.5   31   5    17   9.0   ";
    for (auto _ : state) {
        for (int cell = 0; cell < 4; ++cell) benchmark::DoNotOptimize(mid(line, 20 * cell + 1, 20));
    }
}
BENCHMARK(BM_Mid);

void BM_NthField(benchmark::State& state) {
    const std::string line = "Near End CRC error\t=\t\t1234\t\t\t\t";
    for (auto _ : state) {
        for (int field = 3; field <= 7; ++field) benchmark::DoNotOptimize(nth_field(line, field, "\t"));
    }
}
BENCHMARK(BM_NthField);

void BM_ReplaceAll(benchmark::State& state) {
    const std::string cell = "  12   13.5   30   4";
    const std::string value = "6.5dB,3.0dB";
    for (auto _ : state) {
        benchmark::DoNotOptimize(replace_all(cell, "  ", " "));
        benchmark::DoNotOptimize(replace_all(value, "dB", ""));
    }
}
BENCHMARK(BM_ReplaceAll);

void BM_ToNumber(benchmark::State& state) {
    const std::string texts[] = {"  1234567", "-42 dB", "12x", "abc"};
    for (auto _ : state) {
        for (const std::string& text : texts) benchmark::DoNotOptimize(to_number(text));
    }
}
BENCHMARK(BM_ToNumber);

}  // namespace

BENCHMARK_MAIN();
