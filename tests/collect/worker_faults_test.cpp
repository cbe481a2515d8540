// The worker under faults: a router that misbehaves at each step of the dialog, logs that cannot
// be created or written, and settings that cannot be used. After a router's fault the next cycle
// collects normally; a log that cannot be written loses no line and damages none.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "collect/collection_worker.h"
#include "loopback.h"
#include "settings/settings.h"
#include "tests/support/file_size_limit.h"
#include "tools/router_sim.h"
#include "unwritable_logs.h"
#include "worker_fixture.h"

namespace {

// The router's replies go out in one piece each, or in lockstep, so a short pass is safe and
// keeps the tables fast; the silence limit only has to outlast a loopback round trip.
constexpr std::uint32_t short_pass_pause_ms = 2;
constexpr std::uint32_t short_silence_limit_ms = 200;

class WorkerFaults : public WorkerTest {
  protected:
    WorkerFaults() { case_pass_pause_ms_ = short_pass_pause_ms; }

    // One cycle writes both logs; while `Unwritable` lives two more cycles find them unwritable;
    // the fourth writes the waiting lines and its own. Meanwhile the logs keep their bytes and
    // the worker goes on.
    template <typename Unwritable>
    void check_lines_wait_while_logs_are(const char* unwritable_how);
};

// The first `lines` lines of the script.
std::string script_lines(int lines) {
    std::size_t end = 0;
    for (int k = 0; k < lines; ++k) end = script.find('\r', end) + 1;
    return script.substr(0, end);
}

ReplyFault acting(ReplyAction action) {
    ReplyFault fault;
    fault.action = action;
    return fault;
}
ReplyFault replaced_by(std::string text) {
    ReplyFault fault;
    fault.replacement = std::move(text);
    return fault;
}
ReplyFault random_of(int bytes) {
    ReplyFault fault;
    fault.random_bytes = bytes;
    return fault;
}
ReplyFault padded_to(int bytes) {
    ReplyFault fault;
    fault.pad_to_bytes = bytes;
    return fault;
}
ReplyFault in_pieces_of(int bytes) {
    ReplyFault fault;
    fault.chunk_bytes = bytes;
    return fault;
}

TEST_F(WorkerFaults, RouterFaultInOneCycleLeavesTheNextCollectingNormally) {
    using enum ReplyPoint;
    const std::string closed = "router closed the connection";
    const std::string silent = "no answer from the router";
    const struct {
        const char* what;
        ReplyPoint point;
        ReplyFault fault;
        int lines_received;       // script lines the router got in the faulty session
        std::size_t stats_lines;  // lines that session added to each log
        std::size_t bins_lines;
        std::string abandoned;  // why the status line says the cycle ended early; "" if it did not
    } cases[] = {
        {"close at greeting", greeting, acting(ReplyAction::close), 0, 0, 0, closed},
        {"close at login", login, acting(ReplyAction::close), 1, 0, 0, closed},
        {"close at status", status, acting(ReplyAction::close), 2, 0, 0, closed},
        {"close at bins", bins, acting(ReplyAction::close), 3, 1, 0, closed},
        // The half that came before a reset is read as a chunk of its own.
        {"reset in greeting", greeting, acting(ReplyAction::reset_midway), 0, 0, 0, closed},
        {"reset in login", login, acting(ReplyAction::reset_midway), 1, 0, 0, closed},
        {"reset in status", status, acting(ReplyAction::reset_midway), 2, 1, 0, closed},
        {"reset in bins", bins, acting(ReplyAction::reset_midway), 3, 1, 1, ""},
        {"silent at greeting", greeting, acting(ReplyAction::fall_silent), 0, 0, 0, silent},
        {"silent at login", login, acting(ReplyAction::fall_silent), 1, 0, 0, silent},
        {"silent at status", status, acting(ReplyAction::fall_silent), 2, 0, 0, silent},
        {"silent at bins", bins, acting(ReplyAction::fall_silent), 3, 1, 0, silent},
        // An empty reply puts nothing on the wire: to the worker it is silence.
        {"empty status", status, replaced_by(""), 2, 0, 0, silent},
        // Any chunk advances the dialog, whatever it holds.
        {"status of zero bytes", status, replaced_by(std::string(64, '\0')), 4, 1, 1, ""},
        {"random greeting", greeting, random_of(512), 4, 1, 1, ""},
        {"random status", status, random_of(2048), 4, 1, 1, ""},
        {"300 line feeds as status", status, replaced_by(std::string(300, '\n')), 4, 1, 1, ""},
        {"300 line feeds as bins", bins, replaced_by(std::string(300, '\n')), 4, 1, 1, ""},
        {"bins over 8192 bytes", bins, padded_to(9000), 4, 1, 1, ""},
        {"greeting a byte a piece", greeting, in_pieces_of(1), 4, 1, 1, ""},
        {"status a byte a piece", status, in_pieces_of(1), 4, 1, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        start_case();
        cycle_timing.dialog_silence_limit_ms = short_silence_limit_ms;
        RouterSimOptions options;
        options.lockstep = true;
        ReplyFault& fault = options.faults[std::size_t(c.point)];
        fault = c.fault;
        fault.first_session = fault.last_session = 1;
        start_sim(options, 3);
        run_sessions(3);

        EXPECT_TRUE(session(1).ended);
        EXPECT_EQ(session(1).received, script_lines(c.lines_received));
        EXPECT_EQ(session(2).received, script);
        expect_logs_with_lines(c.stats_lines + 1, c.bins_lines + 1);
        // The last lines are the second session's.
        const auto stats_log = log_lines("kelvastats.csv");
        const auto bins_log = log_lines("kelvabins.csv");
        ASSERT_FALSE(stats_log.empty() || bins_log.empty());
        EXPECT_EQ(stats_columns_of(stats_log.back()),
                  stats_columns_for(session(2).replies[std::size_t(status)]));
        EXPECT_EQ(bins_log.back(), bins_line_for(session(2).replies[std::size_t(bins)]));
        const auto shown = statuses();
        for (const std::string& reason : {closed, silent}) {
            const bool expected = reason == c.abandoned;
            EXPECT_EQ(std::find(shown.begin(), shown.end(), "17:08 " + reason) != shown.end(),
                      expected)
                << reason;
        }
        EXPECT_EQ(boxes(), std::vector<std::string>{});
    }
}

TEST_F(WorkerFaults, RefusedPasswordEndsTheCycleWithNothingLoggedAndTheCountersKept) {
    settings.password = "wrong";
    settings.prev_crc = 12345;
    RouterSimOptions options;
    options.lockstep = true;
    start_sim(options, 3);
    run_sessions(3);
    // Nothing after the password: no command went out as a second password.
    EXPECT_EQ(session(1).received, "wrong\r");
    EXPECT_EQ(session(2).received, "wrong\r");
    EXPECT_FALSE(std::filesystem::exists("kelvastats.csv"));
    EXPECT_FALSE(std::filesystem::exists("kelvabins.csv"));
    EXPECT_EQ(settings.prev_crc.load(), 12345);
    const auto shown = statuses();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), "17:08 Login refused: check the password");
    EXPECT_EQ(boxes(), std::vector<std::string>{});
}

TEST_F(WorkerFaults, DirectoryNamedLikeALogShowsItsBoxAndEndsTheProgram) {
    const struct {
        const char* log;
        const char* box;
        std::size_t stats_lines;  // what survives: this cycle's statistics line, written before
    } cases[] = {
        {"kelvastats.csv", "KelvaStats: Error: can't write logfile", 0},
        {"kelvabins.csv", "KelvaStats: Error: can't write bins logfile", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log);
        start_case();
        std::filesystem::create_directory(c.log);
        start_sim({}, 2);
        start_worker();
        ASSERT_TRUE(wait_for_worker_end());
        EXPECT_EQ(observed.end, WorkerEnd::program_ends);
        ASSERT_TRUE(sim_->wait_for_sessions_ended(1, generous)) << "the connection was closed";
        EXPECT_EQ(sim_->sessions().size(), 1u) << "no cycle after the box";
        EXPECT_EQ(boxes(), std::vector<std::string>{c.box});
        EXPECT_EQ(log_lines("kelvastats.csv").size(), c.stats_lines == 0 ? 0 : 1 + c.stats_lines);
        EXPECT_FALSE(std::filesystem::is_regular_file("kelvabins.csv"));
        quit();
        std::filesystem::remove(c.log);
    }
}

// While it lives, no file grows past a few bytes beyond the smaller log: every write to the logs
// fails as "file too large", the smaller one's after a few bytes.
class LogsMayNotGrow : public FileSizeLimit {
  public:
    LogsMayNotGrow() : FileSizeLimit(smaller_log_bytes() + 10) {}

  private:
    static std::int64_t smaller_log_bytes() {
        return static_cast<std::int64_t>(std::min(std::filesystem::file_size("kelvastats.csv"),
                                                  std::filesystem::file_size("kelvabins.csv")));
    }
};

template <typename Unwritable>
void WorkerFaults::check_lines_wait_while_logs_are(const char* unwritable_how) {
    start_sim({}, 2);
    start_worker();
    ASSERT_TRUE(sim_->wait_for_sessions_started(2, generous));
    const std::string stats_before = read_file_bytes("kelvastats.csv");
    const std::string bins_before = read_file_bytes("kelvabins.csv");
    {
        const Unwritable unwritable;
        if (!unwritable.active())
            GTEST_SKIP() << "the logs cannot be made " << unwritable_how << " here";
        sim_->set_park_from_session(4);
        ASSERT_TRUE(sim_->wait_for_sessions_started(4, generous));
        EXPECT_EQ(read_file_bytes("kelvastats.csv"), stats_before);
        EXPECT_EQ(read_file_bytes("kelvabins.csv"), bins_before);
        EXPECT_EQ(statuses().back(),
                  "Collection: 17:08   DeltaCRC: 3   kelvastats.csv not written: 2 pending"
                  "   kelvabins.csv not written: 2 pending");
    }
    sim_->set_park_from_session(5);
    ASSERT_TRUE(sim_->wait_for_sessions_started(5, generous));
    quit();

    expect_lines_of_sessions({1, 2, 3, 4});
    EXPECT_EQ(read_file_bytes("kelvastats.csv").substr(0, stats_before.size()), stats_before);
    EXPECT_EQ(read_file_bytes("kelvabins.csv").substr(0, bins_before.size()), bins_before);
    EXPECT_EQ(statuses().back(), "Collection: 17:08   DeltaCRC: 3");
    EXPECT_TRUE(boxes().empty());
}

TEST_F(WorkerFaults, ReadOnlyLogsKeepTheirLinesUntilWritableAgain) {
    check_lines_wait_while_logs_are<ReadOnlyLogs>("read-only");
}

TEST_F(WorkerFaults, LogsTooLargeToGrowKeepTheirLinesAndTheirBytes) {
    check_lines_wait_while_logs_are<LogsMayNotGrow>("unable to grow");
}

TEST_F(WorkerFaults, LogsHeldOpenByAnotherProgramKeepTheirLinesUntilReleased) {
    check_lines_wait_while_logs_are<LogsHeldForReading>("held open by another program");
}

TEST_F(WorkerFaults, AddressOrPortThatCannotBeUsedShowsCantFindTheServer) {
    const struct {
        const char* address;
        std::int32_t port;
    } cases[] = {
        {"255.255.255.255", loopback::unused_port()},
        {"a b", loopback::unused_port()},
        {"999.1.1.1", loopback::unused_port()},
        {"", loopback::unused_port()},
        {"127.0.0.1", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.address) + " port " + std::to_string(c.port));
        start_case();
        settings.router_address = c.address;
        settings.port = c.port;
        start_worker();
        ASSERT_TRUE(wait_for_boxes(1));
        quit();
        EXPECT_EQ(boxes().at(0), "KelvaStats: Can't find the server");
        expect_logs_with_lines(0);
    }
}

TEST_F(WorkerFaults, BlankAddressOfTheAddressFieldIsNeverConnectedTo) {
    // A blank address field reads "0.0.0.0", which Linux would connect to this host, where the
    // simulator listens: the password must not go there.
    start_sim({}, 2);
    settings.router_address = "0.0.0.0";
    start_worker();
    ASSERT_TRUE(wait_for_boxes(1));
    quit();
    EXPECT_EQ(boxes().at(0), "KelvaStats: Can't find the server");
    EXPECT_TRUE(sim_->sessions().empty());
}

TEST_F(WorkerFaults, PasswordOfNonAsciiBytesIsSentByteForByte) {
    const std::string password = "p\xC3\xA4ss w\xF6rd\xFF\x80\x01!";
    RouterSimOptions options;
    options.password = password;
    start_sim(options, 2);
    settings.password = password;
    run_sessions(2);
    EXPECT_EQ(session(1).received, password + "\rshow adsl\radsl showbins\rexit\r");
    EXPECT_TRUE(session(1).logged_in);
    expect_logs_with_lines(1);
}

}  // namespace
