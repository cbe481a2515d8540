// The worker's cycle end to end: the real worker on a thread from start_thread, over loopback TCP
// against the simulated router, writing real logs in a temporary directory. Tests wait on the
// simulator's session records, never on the clock.
#include "collect/collection_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <string>

#include "loopback.h"
#include "settings/settings.h"
#include "tools/router_sim.h"
#include "worker_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using CollectionWorker = WorkerTest;

TEST_F(CollectionWorker, FullCycleAtTheRealPaceSendsTheScriptAndWritesBothLogs) {
    cycle_timing.pass_pause_ms = pass_pause_ms;
    start_sim({}, 2);
    const auto start = Clock::now();
    run_sessions(2);

    EXPECT_GE(Clock::now() - start, 4 * std::chrono::milliseconds(pass_pause_ms))
        << "four passes at least";
    EXPECT_EQ(session(1).received, script);
    expect_logs_with_lines(1);
    EXPECT_EQ(fields_of(log_lines("kelvastats.csv").at(1)).at(0), "07/12/26");
    EXPECT_EQ(bins_data_line(0), bins_line_for(showbins_reply(0)))
        << "the bins step saw the bins reply";
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
    options.faults[size_t(ReplyPoint::bins)].action =
        ReplyAction::omit;  // the rest is the 4th chunk
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

TEST_F(CollectionWorker, PasswordChangedBetweenCyclesIsSentInTheNext) {
    start_sim({}, 2);
    start_worker();
    ASSERT_TRUE(sim_->wait_for_sessions_started(2, generous));  // waiting for session 2's greeting
    settings.password = "changed";
    sim_->set_park_from_session(3);
    ASSERT_TRUE(sim_->wait_for_sessions_started(3, generous));
    quit();
    ASSERT_TRUE(sim_->wait_for_sessions_ended(3, generous));

    EXPECT_EQ(session(1).received, script);
    // The router refused the new password, and no command went out as a second one.
    EXPECT_EQ(session(2).received, "changed\r");
    EXPECT_FALSE(session(2).logged_in);
}

TEST_F(CollectionWorker, QuitEndsAConnectThatNeverCompletes) {
    loopback::FullListener router;
    if (!router.holds_connects())
        GTEST_SKIP() << "this kernel completes connects beyond a full backlog";
    const int already_pending = loopback::syn_sent_count(router.port());
    if (already_pending < 0) GTEST_SKIP() << "no /proc/net/tcp to see the pending connect in";
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
    // The window holds an interval of 99999 minutes at the largest count of milliseconds.
    for (std::int32_t interval_ms : {3600 * 1000, std::numeric_limits<std::int32_t>::max(), -5}) {
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
    expect_logs_with_lines(3);
}

}  // namespace
