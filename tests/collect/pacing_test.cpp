// The worker's pace at the real 300 ms pause and its quiet between cycles: against a router that
// answers at once, each chunk is answered at the next poll, each pause lasts 300 ms and hardly
// more, and during the interval wait the worker thread does not wake at all. The worker's pass
// observer tells when each poll, send and pause happened.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "collect/collection_worker.h"
#include "collect/threads.h"
#include "harness/pass_probe.h"
#include "harness/quiet_calls.h"
#include "harness/temp_dir.h"
#include "harness/thread_switches.h"
#include "settings/settings.h"
#include "stats/pending_lines.h"
#include "stats/status_line.h"
#include "tools/router_sim.h"

namespace {

using Clock = ProbeClock;
using std::chrono::milliseconds;

constexpr milliseconds pause_tolerance{5};
constexpr milliseconds dialog_limit{1250};
constexpr auto generous = std::chrono::seconds(20);
constexpr milliseconds idle_watch{500};

class Pacing : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.enter());
        reset_settings_to_defaults();
        settings.router_address = "127.0.0.1";
        settings.password = "secret";
        settings.interval_ms = 60000;  // one cycle, then the interval wait that Quit ends
        reset_pending_log_lines();
        reset_collection_status();
        install_quiet_calls();
        cycle_timing.pass_pause_ms = pass_pause_ms;
        start_pass_probe();
    }

    void TearDown() override {
        if (worker_ != nullptr) kill_thread(worker_);
        stop_pass_probe();
        sim_.reset();
        remove_quiet_calls();
    }

    // Runs one cycle against the simulator and gives back its passes.
    std::vector<PassRecord> one_cycle(RouterSimOptions options = {}) {
        sim_ = std::make_unique<RouterSim>(std::move(options));
        EXPECT_TRUE(sim_->start()) << sim_->error();
        settings.port = sim_->port();
        worker_ = start_thread(&run_collection_worker, settings.worker_parameter);
        EXPECT_NE(worker_, nullptr);
        EXPECT_TRUE(wait_for_closed_cycles(1, generous));
        const ProbedPasses probed = probed_passes();
        if (!probed.closed_at.empty()) closed_at_ = probed.closed_at.front();
        return probed.cycles.front();
    }

    TempDir dir_{"kelva_pacing_"};
    std::unique_ptr<RouterSim> sim_;
    ThreadRecord* worker_ = nullptr;
    Clock::time_point closed_at_;  // when the cycle's connection was closed
};

TEST_F(Pacing, EachChunkIsAnsweredAtTheNextPollAfterPausesOfThreeHundredMilliseconds) {
    const std::vector<PassRecord> records = one_cycle();
    // The first poll comes right after the connect, before the router can have greeted (it sends
    // its greeting once it has accepted the connection), so four passes that answer a chunk each
    // may follow one that found nothing.
    ASSERT_GE(records.size(), 4u);
    ASSERT_LE(records.size(), 5u);
    const std::size_t first_answer = records.size() - 4;
    EXPECT_LT(ms_between(records.front().connected_at, records.front().polled_at),
              pause_tolerance.count())
        << "the first poll comes without a pause";

    const std::int32_t states_after[] = {3, 4, 5, 6};  // password, show adsl, showbins, exit sent
    for (std::size_t k = 0; k < records.size(); ++k) {
        const PassRecord& pass = records[k];
        SCOPED_TRACE("pass " + std::to_string(k + 1));
        if (k < first_answer) {
            EXPECT_EQ(pass.sent_at, Clock::time_point{});
        } else {
            EXPECT_NE(pass.sent_at, Clock::time_point{}) << "a chunk waits at every poll";
            EXPECT_EQ(pass.dialog_state, states_after[k - first_answer]);
        }
        const double pause_ms = ms_between(pass.pause_began_at, pass.pause_ended_at);
        EXPECT_GE(pause_ms, pass_pause_ms);
        EXPECT_LE(pause_ms, pass_pause_ms + pause_tolerance.count());
        if (k > 0) {
            // The next poll follows the pause at once: between them are only the answer and the
            // log steps, which take microseconds, and the wake-up of a busy machine.
            const double poll_gap_ms = ms_between(records[k - 1].polled_at, pass.polled_at);
            EXPECT_GE(poll_gap_ms, pass_pause_ms);
            EXPECT_LE(poll_gap_ms, pass_pause_ms + 2 * pause_tolerance.count());
        }
    }
    EXPECT_TRUE(records.back().last);
    EXPECT_LT(ms_between(records[first_answer].polled_at, closed_at_), dialog_limit.count())
        << "from the greeting's poll to the close";
    EXPECT_EQ(sim_->sessions().at(0).received, "secret\rshow adsl\radsl showbins\rexit\r");
}

TEST_F(Pacing, WorkerDoesNotWakeDuringTheIntervalWait) {
    cycle_timing.pass_pause_ms = 20;
    RouterSimOptions options;
    options.close_on_exit = false;  // the session ends when the worker closes it
    one_cycle(std::move(options));
    ASSERT_TRUE(sim_->wait_for_sessions_ended(1, generous));

    // The worker is on its way into the minute's wait: at most the switch of falling asleep may
    // still come. A timer that woke it even ten times a second would show several.
    const ThreadNumber worker = probed_passes().worker_tid;
    const long before = context_switches(worker);
    if (before < 0) GTEST_SKIP() << "this system does not count a thread's context switches";
    std::this_thread::sleep_for(idle_watch);
    EXPECT_LE(context_switches(worker) - before, 1);
}

}  // namespace
