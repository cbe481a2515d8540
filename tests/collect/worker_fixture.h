// What the worker tests share: the real worker on a thread from start_thread, over loopback TCP
// against the simulated router, writing real logs in a temporary working directory, with
// recorders in place of the window's two calls, the clock and the tone output. Tests wait on the
// simulator's session records and on the recorders, never on the clock.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "collect/collection_worker.h"
#include "collect/threads.h"
#include "harness/temp_dir.h"
#include "tests/support/file_bytes.h"
#include "tools/router_sim.h"

using namespace std::chrono_literals;

inline constexpr auto quit_limit = 500ms;
inline constexpr auto generous = 20s;
// What the worker sends in a cycle with the fixture's password.
inline const std::string script = "secret\rshow adsl\radsl showbins\rexit\r";

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
extern Observed observed;

// The log's lines without their CR LF; a last line without CR LF is kept with "<no line end>"
// appended, so a partial line shows.
std::vector<std::string> log_lines(const std::string& name);
std::vector<std::string> fields_of(const std::string& line);

// The data line that the bins step writes for `text`: what the worker's line must be when the
// step saw exactly that chunk. Only while no worker runs.
std::string bins_line_for(const std::string& text);
// The reply columns (everything after the five deltas) of the statistics line for `text`.
std::string stats_columns_for(const std::string& text);
// The same part of a line of the statistics log.
std::string stats_columns_of(const std::string& line);

class WorkerTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Back to the state of a fresh test, for the next case of a table: no logs, the fixture's
    // settings, nothing pending or observed.
    void start_case();

    // Starts the simulator; every session from park_from on waits for its greeting, so the worker
    // sits quietly in that cycle's receive loop.
    void start_sim(RouterSimOptions options, int park_from);
    void start_worker();
    // Runs the worker until the simulator has seen `sessions` sessions (the last is parked), then
    // quits and waits until the simulator has seen every one of them end.
    void run_sessions(int sessions);
    // The Quit: stops the worker and gives back how long that took.
    std::chrono::steady_clock::duration quit();

    bool wait_for_boxes(std::size_t count);
    bool wait_for_worker_end();
    std::vector<std::string> statuses();
    std::vector<std::string> boxes();
    SessionRecord session(int number);

    // Header and data lines of the statistics log; header, frequency row and data lines of the
    // bins log; and every line complete.
    void expect_logs_with_lines(std::size_t collections) {
        expect_logs_with_lines(collections, collections);
    }
    void expect_logs_with_lines(std::size_t stats_lines, std::size_t bins_lines);
    // The logs' data lines are those of these sessions' replies, in this order (the deltas of
    // the statistics lines aside).
    void expect_lines_of_sessions(const std::vector<int>& sessions);
    std::string bins_data_line(std::size_t collection);

    // The pass pause each case starts with. Short is safe where every reply goes out in one piece,
    // or in lockstep, so that each read still takes one whole reply.
    std::uint32_t case_pass_pause_ms_ = 20;

    TempDir dir_{"kelva_collect_"};  // the working directory while the test runs
    std::unique_ptr<RouterSim> sim_;
    ThreadRecord* worker_ = nullptr;
};
