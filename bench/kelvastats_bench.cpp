// kelvastats_bench: what one collection costs. Splitting and the four extractions on the fixture
// "show adsl" reply and on a full 8192-byte read of 255 lines, the bit counts of the bit table,
// one whole statistics step and one whole bins step into real logs in a temporary directory, one
// complete collection, the collector's metrics file written after it, the primitives the parsers
// lean on, and how many system writes a log line takes. Then the pacing run against the simulated
// router (bench/pacing_run.h).
//
// Options besides Google Benchmark's: --pacing_cycles=N runs N cycles (default 5; 0 skips it).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bench/pacing_run.h"
#include "collector/metrics.h"
#include "harness/quiet_calls.h"
#include "harness/temp_dir.h"
#include "runtime/file_layer.h"
#include "runtime/text.h"
#include "settings/settings.h"
#include "stats/bins_log.h"
#include "stats/pending_lines.h"
#include "stats/statistics_log.h"
#include "stats/status_line.h"
#include "stats/status_reply.h"
#include "tools/router_replies.h"

namespace {

// The largest read the worker makes: 255 lines of 32 bytes and a tail without a line feed,
// 8192 bytes in all, with as many lines as a reply can have.
std::string full_read_reply() {
    std::string reply;
    for (int line = 0; line < 255; ++line) {
        std::string text =
            "Label " + std::to_string(line) + " =\t\t" + std::to_string(line * 7) + " dB";
        text.resize(30, ' ');
        reply += text + "\r\n";
    }
    reply.resize(8192, 'x');
    return reply;
}

const std::string& status_reply() {
    static const std::string reply = show_adsl_reply({812, 3, 1, 0, 0});
    return reply;
}

const std::string& full_read() {
    static const std::string reply = full_read_reply();
    return reply;
}

const std::string& reply_named(std::string_view name) {
    return name == "show_adsl" ? status_reply() : full_read();
}

// The lines of a reply that the statistics step reads: 2 to N + 1.
std::vector<std::string_view> statistics_lines(const std::string& reply, ReplyLineViews& table) {
    const std::int32_t n = split_reply_lines(reply, table);
    return {table.begin() + 2, table.begin() + n + 2};
}

void set_bytes(benchmark::State& state, const std::string& reply) {
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(reply.size()));
}

void BM_SplitReplyLines(benchmark::State& state, std::string_view name) {
    const std::string& reply = reply_named(name);
    ReplyLineViews views;
    for (auto _ : state) benchmark::DoNotOptimize(split_reply_lines(reply, views));
    set_bytes(state, reply);
}
BENCHMARK_CAPTURE(BM_SplitReplyLines, show_adsl, "show_adsl");
BENCHMARK_CAPTURE(BM_SplitReplyLines, full_read, "full_read");

// The four extractions, each over every line the statistics step reads.
template <typename Extract>
void extract_all(benchmark::State& state, std::string_view name, Extract extract) {
    const std::string& reply = reply_named(name);
    ReplyLineViews table;
    const std::vector<std::string_view> lines = statistics_lines(reply, table);
    for (auto _ : state) {
        for (const std::string_view line : lines) extract(line);
    }
    state.counters["lines"] = static_cast<double>(lines.size());
    set_bytes(state, reply);
}

void BM_ValueText(benchmark::State& state, std::string_view name) {
    extract_all(state, name,
                [](std::string_view line) { benchmark::DoNotOptimize(value_text(line)); });
}
void BM_CounterValue(benchmark::State& state, std::string_view name) {
    extract_all(state, name,
                [](std::string_view line) { benchmark::DoNotOptimize(counter_value(line)); });
}
void BM_ColumnLabel(benchmark::State& state, std::string_view name) {
    std::string header;
    extract_all(state, name, [&header](std::string_view line) {
        header.clear();
        append_column_label(header, line);
        benchmark::DoNotOptimize(header.data());
    });
}
void BM_ColumnValue(benchmark::State& state, std::string_view name) {
    std::string line_text;
    std::string value;
    extract_all(state, name, [&line_text, &value](std::string_view line) {
        line_text.clear();
        append_column_value(line_text, line, value);
        benchmark::DoNotOptimize(line_text.data());
    });
}
BENCHMARK_CAPTURE(BM_ValueText, show_adsl, "show_adsl");
BENCHMARK_CAPTURE(BM_ValueText, full_read, "full_read");
BENCHMARK_CAPTURE(BM_CounterValue, show_adsl, "show_adsl");
BENCHMARK_CAPTURE(BM_CounterValue, full_read, "full_read");
BENCHMARK_CAPTURE(BM_ColumnLabel, show_adsl, "show_adsl");
BENCHMARK_CAPTURE(BM_ColumnLabel, full_read, "full_read");
BENCHMARK_CAPTURE(BM_ColumnValue, show_adsl, "show_adsl");
BENCHMARK_CAPTURE(BM_ColumnValue, full_read, "full_read");

// The 232 cells of the fixture bit table, as the bins step cuts them.
void BM_BitCountTexts(benchmark::State& state) {
    const std::string reply = showbins_reply(0);
    ReplyLineViews lines;
    split_reply_lines(reply, lines);
    std::string collapsed;
    for (auto _ : state) {
        for (std::int32_t k = 6; k <= 63; ++k) {
            for (std::int32_t cell = 0; cell < 4; ++cell)
                benchmark::DoNotOptimize(
                    bit_count_text(mid_view(lines[k], 20 * cell + 1, 20), collapsed));
        }
    }
}
BENCHMARK(BM_BitCountTexts);

// Runs in a fresh temporary directory with the window's calls and the tones quiet.
class LogDirectory {
  public:
    LogDirectory() {
        if (!dir_.enter()) std::abort();
        install_quiet_calls();
        reset_settings_to_defaults();
        reset_pending_log_lines();
        reset_collection_status();
    }
    ~LogDirectory() {
        if (!dir_.leave()) std::abort();
        remove_quiet_calls();
    }
    LogDirectory(const LogDirectory&) = delete;
    LogDirectory& operator=(const LogDirectory&) = delete;

  private:
    TempDir dir_{"kelva-bench-"};
};

// One log step on `reply`, line after line; the first run creates the log, and its system writes
// are counted apart under `first_counter`.
void log_step(benchmark::State& state, LogStep (*step)(), const std::string& reply,
              const char* first_counter) {
    LogDirectory directory;
    settings.received_text = reply;
    std::int64_t writes_before = file_write_calls();
    step();
    state.counters[first_counter] = static_cast<double>(file_write_calls() - writes_before);
    writes_before = file_write_calls();
    for (auto _ : state) step();
    state.counters["writes_per_line"] = static_cast<double>(file_write_calls() - writes_before) /
                                        static_cast<double>(state.iterations());
}

void BM_StatisticsStep(benchmark::State& state, std::string_view name) {
    log_step(state, &write_statistics, reply_named(name), "writes_header_and_line");
}
BENCHMARK_CAPTURE(BM_StatisticsStep, show_adsl, "show_adsl");
BENCHMARK_CAPTURE(BM_StatisticsStep, full_read, "full_read");

void BM_BinsStep(benchmark::State& state, std::string_view name) {
    log_step(state, &write_bins, name == "showbins" ? showbins_reply(0) : full_read(),
             "writes_headers_and_line");
}
BENCHMARK_CAPTURE(BM_BinsStep, showbins, "showbins");
BENCHMARK_CAPTURE(BM_BinsStep, full_read, "full_read");

// One complete collection as the worker runs it after the dialog: the status reply becomes the
// received text and the statistics step runs, then the bit-loading reply and the bins step.
void BM_Collection(benchmark::State& state, std::string_view name) {
    LogDirectory directory;
    const std::string status = name == "fixtures" ? status_reply() : full_read();
    const std::string bins = name == "fixtures" ? showbins_reply(0) : full_read();
    for (auto _ : state) {
        settings.received_text = status;
        write_statistics();
        settings.received_text = bins;
        write_bins();
    }
}
BENCHMARK_CAPTURE(BM_Collection, fixtures, "fixtures");
BENCHMARK_CAPTURE(BM_Collection, full_reads, "full_reads");

// What the collector adds after each collection for Prometheus: the figures taken from both
// replies, their text, and the file written beside and renamed over the previous one.
void BM_MetricsAfterCollection(benchmark::State& state, std::string_view name) {
    LogDirectory directory;
    const std::string status = name == "fixtures" ? status_reply() : full_read();
    const std::string bins = name == "fixtures" ? showbins_reply(0) : full_read();
    LineFigures figures = start_line_figures(0, 60000);
    std::int64_t now = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        record_cycle(figures, {true, "", status, bins}, ++now);
        const std::string text = metrics_text(figures);
        if (write_metrics_file("kelvastats.prom", text) != 0) std::abort();
        bytes = text.size();
    }
    state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK_CAPTURE(BM_MetricsAfterCollection, fixtures, "fixtures");
BENCHMARK_CAPTURE(BM_MetricsAfterCollection, full_reads, "full_reads");

void BM_Mid(benchmark::State& state) {
    const std::string line =
        "    8   58.4   14       9   62.7   15      10   55.5   13      11   59.8   14   ";
    for (auto _ : state) {
        for (int cell = 0; cell < 4; ++cell) benchmark::DoNotOptimize(mid(line, 20 * cell + 1, 20));
    }
}
BENCHMARK(BM_Mid);

void BM_NthField(benchmark::State& state) {
    const std::string line = "   CRC errors down      =\t\t1234\t";
    for (auto _ : state) {
        for (int field = 3; field <= 7; ++field)
            benchmark::DoNotOptimize(nth_field(line, field, "\t"));
    }
}
BENCHMARK(BM_NthField);

void BM_ReplaceAll(benchmark::State& state) {
    const std::string cell = "    8   58.4   14   ";
    const std::string value = "6.1\t dB";
    for (auto _ : state) {
        benchmark::DoNotOptimize(replace_all(cell, "  ", " "));
        benchmark::DoNotOptimize(replace_all(value, "dB", ""));
    }
}
BENCHMARK(BM_ReplaceAll);

void BM_ToNumber(benchmark::State& state) {
    const std::string texts[] = {"1234", "-42 dB", "  16384\t kbps", "SHOWTIME"};
    for (auto _ : state) {
        for (const std::string& text : texts) benchmark::DoNotOptimize(to_number(text));
    }
}
BENCHMARK(BM_ToNumber);

// Takes --pacing_cycles=N out of the arguments; 5 when it is not there.
int take_pacing_cycles(int& argc, char** argv) {
    constexpr std::string_view option = "--pacing_cycles=";
    int cycles = 5;
    int kept = 1;
    for (int k = 1; k < argc; ++k) {
        const std::string_view argument = argv[k];
        if (argument.starts_with(option)) {
            cycles = std::atoi(argv[k] + option.size());
        } else {
            argv[kept++] = argv[k];
        }
    }
    argc = kept;
    return cycles;
}

}  // namespace

int main(int argc, char** argv) {
    const int pacing_cycles = take_pacing_cycles(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (pacing_cycles > 0 && !run_pacing(pacing_cycles)) return 1;
    return 0;
}
