// The worker's cycle end to end: the real worker on a thread from start_thread, over loopback TCP
// against the simulated router, writing real logs in a temporary directory. Tests wait on the
// simulator's session records, never on the clock.
#include "collect/collection_worker.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "collect/threads.h"
#include "loopback.h"
#include "runtime/date.h"
#include "runtime/tone.h"
#include "runtime/ui_calls.h"
#include "stats/bins_log.h"
#include "stats/pending_lines.h"
#include "stats/status_line.h"
#include "tools/router_sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto quit_limit = 500ms;
constexpr auto generous = 20s;
const std::string script = "secret\rshow adsl\radsl showbins\rexit\r";

// What the worker showed, and how it ended; shared with the worker thread.
struct Observed {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> statuses;
    std::vector<std::string> boxes;  // title + ": " + text
    int box_flags = 0;
    bool worker_returned = false;
    WorkerEnd end = WorkerEnd::stopped;
    // Called with the box count when a box is shown (the user's answer happens here).
    void (*on_box)(int count) = nullptr;
};
Observed observed;

void record_status(int bar, int field, std::string_view text) {
    std::lock_guard lock(observed.mutex);
    observed.statuses.push_back(bar == 0 && field == 0 ? std::string(text) : "wrong field: " + std::string(text));
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

WallClock fixed_clock() { return WallClock{2026, 12, 7, 17, 8, 30}; }

void run_worker(std::int32_t parameter) {
    WorkerEnd end = collection_worker(parameter);
    std::lock_guard lock(observed.mutex);
    observed.end = end;
    observed.worker_returned = true;
    observed.changed.notify_all();
}

std::string file_text(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// The log's lines without their CR LF; a last line without CR LF is kept as it is, so a
// partial line shows.
std::vector<std::string> log_lines(const std::string& name) {
    std::string text = file_text(name);
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

class CollectionWorker : public ::testing::Test {
protected:
    void SetUp() override {
        previous_dir_ = std::filesystem::current_path();
        char pattern[] = "/tmp/kelva_collect_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        std::filesystem::current_path(dir_);

        reset_settings_to_defaults();
        settings.router_address = "127.0.0.1";
        settings.password = "secret";
        settings.interval_ms = 0;
        cycle_timing.pass_pause_ms = 20;
        cycle_timing.dialog_silence_limit_ms = dialog_silence_limit_ms;
        reset_pending_log_lines();
        reset_collection_status();
        {
            std::lock_guard lock(observed.mutex);
            observed.statuses.clear();
            observed.boxes.clear();
            observed.box_flags = 0;
            observed.worker_returned = false;
            observed.on_box = nullptr;
        }
        install_ui_calls(UiCalls{&record_status, &record_box});
        set_clock_source(&fixed_clock);
        set_tone_output(&record_tone);
    }

    void TearDown() override {
        quit();
        sim_.reset();
        install_ui_calls(UiCalls{});
        set_clock_source(nullptr);
        set_tone_output(nullptr);
        cycle_timing.pass_pause_ms = pass_pause_ms;
        cycle_timing.dialog_silence_limit_ms = dialog_silence_limit_ms;
        std::filesystem::current_path(previous_dir_);
        std::filesystem::remove_all(dir_);
    }

    // Starts the simulator; every session from park_from on waits for its greeting, so the worker
    // sits quietly in that cycle's receive loop.
    void start_sim(RouterSimOptions options, int park_from) {
        options.park_from_session = park_from;
        sim_ = std::make_unique<RouterSim>(std::move(options));
        ASSERT_TRUE(sim_->start()) << sim_->error();
        settings.port = sim_->port();
    }

    void start_worker() {
        worker_ = start_thread(&run_worker, settings.worker_parameter);
        ASSERT_NE(worker_, nullptr);
    }

    // Runs the worker until the simulator has seen `sessions` sessions; the last is parked.
    void run_sessions(int sessions) {
        start_worker();
        ASSERT_TRUE(sim_->wait_for_sessions_started(sessions, generous));
        quit();
    }

    // The Quit: stops the worker and gives back how long that took.
    Clock::duration quit() {
        const auto start = Clock::now();
        if (worker_ != nullptr) kill_thread(worker_);
        worker_ = nullptr;
        return Clock::now() - start;
    }

    bool wait_for_boxes(std::size_t count) {
        std::unique_lock lock(observed.mutex);
        return observed.changed.wait_for(lock, generous, [count] { return observed.boxes.size() >= count; });
    }

    std::vector<std::string> statuses() {
        std::lock_guard lock(observed.mutex);
        return observed.statuses;
    }
    std::vector<std::string> boxes() {
        std::lock_guard lock(observed.mutex);
        return observed.boxes;
    }

    SessionRecord session(int number) { return sim_->sessions().at(static_cast<std::size_t>(number - 1)); }

    // Header and data lines of the statistics log; header, frequency row and data lines of the
    // bins log; and every line complete.
    void expect_logs_with_lines(std::size_t collections) {
        EXPECT_EQ(log_lines("kelvastats.csv").size(), collections == 0 ? 0 : 1 + collections);
        EXPECT_EQ(log_lines("kelvabins.csv").size(), collections == 0 ? 0 : 2 + collections);
        for (const char* log : {"kelvastats.csv", "kelvabins.csv"}) {
            for (const std::string& line : log_lines(log)) {
                EXPECT_EQ(line.find("<no line end>"), std::string::npos) << log << " has a partial line";
            }
        }
    }

    std::string bins_data_line(std::size_t collection) { return log_lines("kelvabins.csv").at(2 + collection); }

    std::filesystem::path previous_dir_;
    std::string dir_;
    std::unique_ptr<RouterSim> sim_;
    ThreadRecord* worker_ = nullptr;
};

// The data line that the bins step writes for `text`: what the worker's line must be when the
// step saw exactly that chunk. Only while no worker runs.
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

TEST_F(CollectionWorker, FullCycleAtTheRealPaceSendsTheScriptAndWritesBothLogs) {
    cycle_timing.pass_pause_ms = pass_pause_ms;
    start_sim({}, 2);
    const auto start = Clock::now();
    run_sessions(2);

    EXPECT_GE(Clock::now() - start, 4 * std::chrono::milliseconds(pass_pause_ms)) << "four passes at least";
    EXPECT_EQ(session(1).received, script);
    expect_logs_with_lines(1);
    EXPECT_EQ(fields_of(log_lines("kelvastats.csv").at(1)).at(0), "07/12/26");
    EXPECT_EQ(bins_data_line(0), bins_line_for(showbins_reply(0))) << "the bins step saw the bins reply";
    EXPECT_EQ(statuses().back(), "Collection: 17:08   DeltaCRC: 0");
    EXPECT_TRUE(boxes().empty());
}

TEST_F(CollectionWorker, IntervalZeroStartsTheNextCycleRightAfterTheClose) {
    start_sim({}, 3);
    run_sessions(3);

    EXPECT_EQ(session(1).received, script);
    EXPECT_EQ(session(2).received, script);
    expect_logs_with_lines(2);
    const auto second = fields_of(log_lines("kelvastats.csv").at(2));
    const LineCounters growth = RouterSimOptions{}.counter_growth;
    EXPECT_EQ(second.at(2), std::to_string(growth.fec));
    EXPECT_EQ(second.at(3), std::to_string(growth.crc));
    EXPECT_EQ(statuses().back(), "Collection: 17:08   DeltaCRC: " + std::to_string(growth.crc));
    EXPECT_EQ(bins_data_line(1), bins_line_for(showbins_reply(1)));
}

// The port the user types while the first box is open.
std::atomic<std::int32_t> port_typed_at_first_box{0};

void mend_port_at_first_box(int count) {
    if (count == 1) settings.port = port_typed_at_first_box.load();
}

TEST_F(CollectionWorker, RefusedConnectionShowsTheBoxAndRetriesWithTheSettingsOfThatTime) {
    start_sim({}, 2);
    port_typed_at_first_box = sim_->port();
    settings.port = loopback::unused_port();
    observed.on_box = &mend_port_at_first_box;
    run_sessions(2);

    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes().at(0), "KelvaStats: Can't find the server");
    EXPECT_EQ(observed.box_flags, 0);
    EXPECT_EQ(session(1).received, script);
    expect_logs_with_lines(1);
}

TEST_F(CollectionWorker, AddressThatCannotBeUsedShowsCantFindTheServer) {
    for (const char* address : {"255.255.255.255", "a b", "999.1.1.1", ""}) {
        settings.router_address = address;
        settings.port = loopback::unused_port();
        start_worker();
        ASSERT_TRUE(wait_for_boxes(1)) << address;
        quit();
        EXPECT_EQ(boxes().at(0), "KelvaStats: Can't find the server") << address;
        std::lock_guard lock(observed.mutex);
        observed.boxes.clear();
    }
    expect_logs_with_lines(0);
}

TEST_F(CollectionWorker, HostNameAndPortAbove65535ReachTheRouter) {
    start_sim({}, 3);
    settings.router_address = "localhost";
    settings.port = sim_->port() + 65536;
    run_sessions(2);
    EXPECT_EQ(session(1).received, script);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(CollectionWorker, ShortChunkDoesNotKeepBytesOfTheLongerOneBefore) {
    RouterSimOptions options;
    options.faults[size_t(ReplyPoint::status)].replacement = showbins_reply(5);
    options.faults[size_t(ReplyPoint::bins)].replacement = "x\r\n";
    start_sim(options, 2);
    run_sessions(2);

    expect_logs_with_lines(1);
    EXPECT_EQ(bins_data_line(0), bins_line_for("x\r\n"));
}

TEST_F(CollectionWorker, ZeroByteEndsTheReceivedText) {
    // The zero byte stands at the start of reply line 36, half way through the bit table.
    const std::string reply = showbins_reply(0);
    std::size_t offset = 0;
    for (int line = 1; line < 36; ++line) offset = reply.find('\n', offset) + 1;
    RouterSimOptions options;
    options.faults[size_t(ReplyPoint::bins)].zero_byte_at = static_cast<int>(offset);
    start_sim(options, 2);
    run_sessions(2);

    EXPECT_EQ(bins_data_line(0), bins_line_for(reply.substr(0, offset)));
    EXPECT_NE(bins_data_line(0), bins_line_for(reply));
}

TEST_F(CollectionWorker, MoreThan8192BytesWaitingAreReadAsTwoChunks) {
    RouterSimOptions options;
    options.faults[size_t(ReplyPoint::status)].pad_to_bytes = 9000;
    options.faults[size_t(ReplyPoint::bins)].action = ReplyAction::omit;  // the rest is the 4th chunk
    start_sim(options, 2);
    run_sessions(2);

    EXPECT_EQ(session(1).received, script) << "the rest of the long reply advanced the dialog";
    const std::string status_reply = session(1).replies[size_t(ReplyPoint::status)];
    ASSERT_GT(status_reply.size(), 8192u);
    EXPECT_EQ(settings.received_text, status_reply.substr(8192));
    expect_logs_with_lines(1);
    EXPECT_EQ(bins_data_line(0), bins_line_for(status_reply.substr(8192)));
}

TEST_F(CollectionWorker, ReplySplitInTwoAdvancesTheDialogTwice) {
    RouterSimOptions options;
    options.lockstep = true;  // each half is read on its own
    options.faults[size_t(ReplyPoint::status)].chunks = 2;
    start_sim(options, 2);
    run_sessions(2);

    EXPECT_EQ(session(1).received, script);
    const std::string status_reply = session(1).replies[size_t(ReplyPoint::status)];
    EXPECT_EQ(settings.received_text, status_reply.substr((status_reply.size() + 1) / 2))
        << "the bins step worked on the second half";
    expect_logs_with_lines(1);
}

TEST_F(CollectionWorker, SlowBitLoadingReplyLogsTheStatusReplyOnce) {
    RouterSimOptions options;
    options.faults[size_t(ReplyPoint::bins)].delay_ms = 10 * 20;  // about ten passes
    start_sim(options, 2);
    run_sessions(2);

    expect_logs_with_lines(1);
    EXPECT_EQ(statuses().size(), 1u);
}

TEST_F(CollectionWorker, RouterLeavingTheDialogEndsTheCycleAndTheNextOneWorks) {
    // A reset after half the status reply still lets that half be read and logged.
    const struct {
        ReplyPoint point;
        ReplyAction action;
        const char* status;
    } cases[] = {
        {ReplyPoint::bins, ReplyAction::close, "17:08 router closed the connection"},
        {ReplyPoint::status, ReplyAction::reset_midway, "17:08 router closed the connection"},
        {ReplyPoint::bins, ReplyAction::fall_silent, "17:08 no answer from the router"},
    };
    cycle_timing.dialog_silence_limit_ms = 200;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        std::filesystem::remove("kelvastats.csv");
        std::filesystem::remove("kelvabins.csv");
        reset_settings_to_defaults();
        settings.router_address = "127.0.0.1";
        settings.password = "secret";
        settings.interval_ms = 0;
        {
            std::lock_guard lock(observed.mutex);
            observed.statuses.clear();
        }
        RouterSimOptions options;
        options.faults[size_t(c.point)].action = c.action;
        options.faults[size_t(c.point)].last_session = 1;
        start_sim(options, 3);
        run_sessions(3);

        EXPECT_TRUE(session(1).ended);
        EXPECT_EQ(session(2).received, script);
        EXPECT_EQ(log_lines("kelvastats.csv").size(), 1u + 2u) << "both cycles logged the status reply";
        EXPECT_EQ(log_lines("kelvabins.csv").size(), 2u + 1u) << "only the second the bins";
        const auto shown = statuses();
        EXPECT_NE(std::find(shown.begin(), shown.end(), c.status), shown.end());
    }
}

TEST_F(CollectionWorker, PasswordChangedBetweenCyclesIsSentInTheNext) {
    start_sim({}, 2);
    start_worker();
    ASSERT_TRUE(sim_->wait_for_sessions_started(2, generous));  // waiting for session 2's greeting
    settings.password = "changed";
    sim_->set_park_from_session(3);
    ASSERT_TRUE(sim_->wait_for_sessions_started(3, generous));
    quit();

    EXPECT_EQ(session(1).received, script);
    EXPECT_EQ(session(2).received, "changed\rshow adsl\radsl showbins\rexit\r")
        << "the script goes on whatever the router answered";
    EXPECT_FALSE(session(2).logged_in);
}

TEST_F(CollectionWorker, FatalLogStepEndsTheWorkerForProgramEnd) {
    std::filesystem::create_directory("kelvastats.csv");  // the log cannot be created
    start_sim({}, 2);
    start_worker();
    {
        std::unique_lock lock(observed.mutex);
        ASSERT_TRUE(observed.changed.wait_for(lock, generous, [] { return observed.worker_returned; }));
        EXPECT_EQ(observed.end, WorkerEnd::program_ends);
    }
    ASSERT_TRUE(sim_->wait_for_sessions_ended(1, generous)) << "the connection was closed";
    EXPECT_EQ(boxes().at(0), "KelvaStats: Error: can't write logfile");
}

TEST_F(CollectionWorker, QuitEndsAConnectThatNeverCompletes) {
    loopback::FullListener router;
    if (!router.holds_connects()) GTEST_SKIP() << "this kernel completes connects beyond a full backlog";
    const int already_pending = loopback::syn_sent_count(router.port());
    settings.port = router.port();
    start_worker();
    ASSERT_TRUE(loopback::wait_for_pending_connects(router.port(), already_pending + 1));

    EXPECT_LT(quit(), quit_limit);
    EXPECT_TRUE(boxes().empty()) << "a stopped connect is no failed connect";
    EXPECT_EQ(observed.end, WorkerEnd::stopped);
    expect_logs_with_lines(0);
}

TEST_F(CollectionWorker, QuitEndsAPassAtOnce) {
    cycle_timing.pass_pause_ms = 3600 * 1000;
    start_sim({}, 1);
    start_worker();
    ASSERT_TRUE(sim_->wait_for_sessions_started(1, generous));

    EXPECT_LT(quit(), quit_limit);
    ASSERT_TRUE(sim_->wait_for_sessions_ended(1, generous)) << "the connection was closed";
    EXPECT_EQ(observed.end, WorkerEnd::stopped);
}

TEST_F(CollectionWorker, QuitEndsTheIntervalWaitAtOnceLeavingCompleteLines) {
    for (std::int32_t interval_ms : {3600 * 1000, -5}) {
        SCOPED_TRACE(interval_ms);
        settings.interval_ms = interval_ms;
        RouterSimOptions options;
        options.close_on_exit = false;  // so the session ends when the worker closes it
        start_sim(options, 2);
        start_worker();
        ASSERT_TRUE(sim_->wait_for_sessions_ended(1, generous));

        EXPECT_LT(quit(), quit_limit);
        EXPECT_EQ(sim_->sessions().size(), 1u) << "no second cycle";
    }
    expect_logs_with_lines(2);
}

}  // namespace
