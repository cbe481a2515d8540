// The shared set-up of the worker tests and the helpers that read the logs it leaves.
#include "worker_fixture.h"

#include "harness/test_clock.h"
#include "runtime/date.h"
#include "runtime/tone.h"
#include "runtime/ui_calls.h"
#include "settings/settings.h"
#include "stats/bins_log.h"
#include "stats/pending_lines.h"
#include "stats/status_line.h"
#include "stats/status_reply.h"

Observed observed;

namespace {

void record_status(int bar, int field, std::string_view text) {
    std::lock_guard lock(observed.mutex);
    observed.statuses.push_back(bar == 0 && field == 0 ? std::string(text)
                                                       : "wrong field: " + std::string(text));
    observed.changed.notify_all();
}

int record_box(std::string_view title, std::string_view text, int flags) {
    int count = 0;
    {
        std::lock_guard lock(observed.mutex);
        observed.boxes.push_back(std::string(title) + ": " + std::string(text));
        observed.box_flags |= flags;
        count = static_cast<int>(observed.boxes.size());
    }
    if (observed.on_box) observed.on_box(count);
    observed.changed.notify_all();
    return 1;
}

void record_tone(std::int32_t, std::int32_t) {}

void run_worker(std::int32_t parameter) {
    WorkerEnd end = collection_worker(parameter);
    std::lock_guard lock(observed.mutex);
    observed.end = end;
    observed.worker_returned = true;
    observed.changed.notify_all();
}

// The deltas of a statistics data line stand between the time stamp and the reply columns.
constexpr std::size_t fields_before_reply_columns = 7;

}  // namespace

std::vector<std::string> log_lines(const std::string& name) {
    std::string text = read_file_bytes(name);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no line end>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> fields_of(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

std::string bins_line_for(const std::string& text) {
    const std::string received = settings.received_text;
    const std::string log_name = settings.bins_log_name;
    settings.received_text = text;
    settings.bins_log_name = "expected_bins.csv";
    write_bins();
    std::string line = log_lines("expected_bins.csv").back();
    std::filesystem::remove("expected_bins.csv");
    settings.received_text = received;
    settings.bins_log_name = log_name;
    return line;
}

std::string stats_columns_for(const std::string& text) {
    ReplyLineViews reply_lines;
    const std::int32_t line_count = split_reply_lines(text, reply_lines);
    std::string columns;
    for (std::int32_t k = 2; k <= line_count + 1; ++k)
        columns += column_value(reply_lines[k]) + ",";
    return columns;
}

std::string stats_columns_of(const std::string& line) {
    std::size_t start = 0;
    for (std::size_t k = 0; k < fields_before_reply_columns && start != std::string::npos; ++k) {
        start = line.find(',', start);
        if (start != std::string::npos) ++start;
    }
    return start == std::string::npos ? "<too few fields>" : line.substr(start);
}

void WorkerTest::SetUp() {
    ASSERT_TRUE(dir_.enter());
    install_ui_calls(UiCalls{&record_status, &record_box});
    test_clock = WallClock{2026, 12, 7, 17, 8, 30};
    set_clock_source(&read_test_clock);
    set_tone_output(&record_tone);
    start_case();
}

void WorkerTest::start_case() {
    std::filesystem::remove("kelvastats.csv");
    std::filesystem::remove("kelvabins.csv");
    reset_settings_to_defaults();
    settings.router_address = "127.0.0.1";
    settings.password = "secret";
    settings.interval_ms = 0;
    cycle_timing.pass_pause_ms = case_pass_pause_ms_;
    cycle_timing.dialog_silence_limit_ms = dialog_silence_limit_ms;
    reset_pending_log_lines();
    reset_collection_status();
    std::lock_guard lock(observed.mutex);
    observed.statuses.clear();
    observed.boxes.clear();
    observed.box_flags = 0;
    observed.worker_returned = false;
    observed.on_box = nullptr;
}

void WorkerTest::TearDown() {
    quit();
    sim_.reset();
    install_ui_calls(UiCalls{});
    set_clock_source(nullptr);
    set_tone_output(nullptr);
    cycle_timing.pass_pause_ms = pass_pause_ms;
    cycle_timing.dialog_silence_limit_ms = dialog_silence_limit_ms;
}

void WorkerTest::start_sim(RouterSimOptions options, int park_from) {
    options.park_from_session = park_from;
    sim_ = std::make_unique<RouterSim>(std::move(options));
    ASSERT_TRUE(sim_->start()) << sim_->error();
    settings.port = sim_->port();
}

void WorkerTest::start_worker() {
    worker_ = start_thread(&run_worker, settings.worker_parameter);
    ASSERT_NE(worker_, nullptr);
}

void WorkerTest::run_sessions(int sessions) {
    start_worker();
    ASSERT_TRUE(sim_->wait_for_sessions_started(sessions, generous));
    quit();
    // The simulator may take a new session before it has read the end of the one before.
    ASSERT_TRUE(sim_->wait_for_sessions_ended(sessions, generous));
}

std::chrono::steady_clock::duration WorkerTest::quit() {
    const auto start = std::chrono::steady_clock::now();
    if (worker_ != nullptr) kill_thread(worker_);
    worker_ = nullptr;
    return std::chrono::steady_clock::now() - start;
}

bool WorkerTest::wait_for_boxes(std::size_t count) {
    std::unique_lock lock(observed.mutex);
    return observed.changed.wait_for(lock, generous,
                                     [count] { return observed.boxes.size() >= count; });
}

bool WorkerTest::wait_for_worker_end() {
    std::unique_lock lock(observed.mutex);
    return observed.changed.wait_for(lock, generous, [] { return observed.worker_returned; });
}

std::vector<std::string> WorkerTest::statuses() {
    std::lock_guard lock(observed.mutex);
    return observed.statuses;
}

std::vector<std::string> WorkerTest::boxes() {
    std::lock_guard lock(observed.mutex);
    return observed.boxes;
}

SessionRecord WorkerTest::session(int number) {
    return sim_->sessions().at(static_cast<std::size_t>(number - 1));
}

void WorkerTest::expect_logs_with_lines(std::size_t stats_lines, std::size_t bins_lines) {
    EXPECT_EQ(log_lines("kelvastats.csv").size(), stats_lines == 0 ? 0 : 1 + stats_lines);
    EXPECT_EQ(log_lines("kelvabins.csv").size(), bins_lines == 0 ? 0 : 2 + bins_lines);
    for (const char* log : {"kelvastats.csv", "kelvabins.csv"}) {
        for (const std::string& line : log_lines(log)) {
            EXPECT_EQ(line.find("<no line end>"), std::string::npos)
                << log << " has a partial line";
        }
    }
}

void WorkerTest::expect_lines_of_sessions(const std::vector<int>& sessions) {
    expect_logs_with_lines(sessions.size());
    const std::vector<std::string> stats = log_lines("kelvastats.csv");
    const std::vector<std::string> bins = log_lines("kelvabins.csv");
    if (stats.size() != 1 + sessions.size() || bins.size() != 2 + sessions.size()) return;
    for (std::size_t k = 0; k < sessions.size(); ++k) {
        const SessionRecord record = session(sessions[k]);
        EXPECT_EQ(stats_columns_of(stats[1 + k]),
                  stats_columns_for(record.replies[std::size_t(ReplyPoint::status)]))
            << "statistics line " << k + 1 << " is not session " << sessions[k] << "'s";
        EXPECT_EQ(bins[2 + k], bins_line_for(record.replies[std::size_t(ReplyPoint::bins)]))
            << "bins line " << k + 1 << " is not session " << sessions[k] << "'s";
    }
}

std::string WorkerTest::bins_data_line(std::size_t collection) {
    return log_lines("kelvabins.csv").at(2 + collection);
}
