// Lines that cannot reach their log wait in memory and are written, in order, once it can be
// written again; a write that fails half way leaves the log as it was.
#include "stats/pending_lines.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "settings/settings.h"
#include "stats/bins_log.h"
#include "stats/statistics_log.h"
#include "stats/status_line.h"
#include "stats_test_env.h"
#include "tests/support/file_size_limit.h"
#include "tools/router_replies.h"
#include "unopenable_logs.h"

namespace {

const std::string stats_log = "kelvastats.csv";
const std::string bins_log = "kelvabins.csv";

void collect(const LineCounters& counters, int minute) {
    test_clock.minute = minute;
    settings.received_text = show_adsl_reply(counters);
    ASSERT_EQ(write_statistics(), LogStep::done);
}

void collect_unopenable(const LineCounters& counters, int minute) {
    const UnopenableLogs unopenable;
    ASSERT_TRUE(unopenable.active()) << "could not make the logs unopenable";
    collect(counters, minute);
}

std::int32_t line_count(const std::string& log) {
    return static_cast<std::int32_t>(std::count(log.begin(), log.end(), '\n'));
}

using PendingLines = StatsTest;

TEST_F(PendingLines, LinesOfAnUnopenableLogAreWrittenInOrderLater) {
    collect({812, 3, 0, 0, 0}, 8);
    collect_unopenable({812, 5, 0, 0, 0}, 9);
    EXPECT_EQ(pending_line_count(LogKind::statistics), 1);
    EXPECT_EQ(recorded.statuses.back(),
              "Collection: 17:09   DeltaCRC: 2   kelvastats.csv not written: 1 pending");
    collect_unopenable({812, 9, 0, 0, 0}, 10);
    EXPECT_EQ(recorded.statuses.back(),
              "Collection: 17:10   DeltaCRC: 4   kelvastats.csv not written: 2 pending");
    EXPECT_EQ(settings.prev_crc, 9);

    collect({812, 10, 0, 0, 0}, 11);
    EXPECT_EQ(read_file_bytes(stats_log), test_data("stats_pending_in_order.csv"));
    EXPECT_EQ(pending_line_count(LogKind::statistics), 0);
    EXPECT_EQ(recorded.statuses.back(), "Collection: 17:11   DeltaCRC: 1");
}

TEST_F(PendingLines, AtMostTenThousandWaitAndTheDroppedAreCounted) {
    write_file_bytes(stats_log, "earlier\r\n");
    settings.received_text = "> ";
    {
        const UnopenableLogs unopenable;
        ASSERT_TRUE(unopenable.active());
        for (int k = 0; k < 10005; ++k) {
            test_clock.day = 1 + k / 1440;
            test_clock.hour = k / 60 % 24;
            test_clock.minute = k % 60;
            write_statistics();
        }
    }
    EXPECT_EQ(pending_line_count(LogKind::statistics), 10000);
    EXPECT_EQ(dropped_line_count(LogKind::statistics), 5);
    EXPECT_EQ(
        recorded.statuses.back(),
        "Collection: 22:44   DeltaCRC: 0   kelvastats.csv not written: 10000 pending, 5 lost");

    test_clock = {2026, 12, 9, 0, 0, 0};
    write_statistics();
    const std::string log = read_file_bytes(stats_log);
    EXPECT_EQ(line_count(log), 1 + 10000 + 1);
    EXPECT_EQ(log.substr(0, 45), "earlier\r\n01/12/26,00:05,0,0,0,0,0,\r\n01/12/26,");
    EXPECT_EQ(log.substr(log.size() - 27), "09/12/26,00:00,0,0,0,0,0,\r\n");
    EXPECT_EQ(recorded.statuses.back(),
              "Collection: 00:00   DeltaCRC: 0   kelvastats.csv: 5 lines lost");
}

TEST_F(PendingLines, FailedWriteLeavesTheLogAsItWasAndKeepsTheLine) {
    if (!FileSizeLimit::available()) GTEST_SKIP() << "no limit on the size of files here";
    collect({812, 3, 0, 0, 0}, 8);
    const std::string before = read_file_bytes(stats_log);
    {
        // Room for a few bytes of the line: the write is cut short, then fails.
        const FileSizeLimit limit(before.size() + 10);
        ASSERT_TRUE(limit.active());
        collect({812, 5, 0, 0, 0}, 9);
    }
    EXPECT_EQ(read_file_bytes(stats_log), before);
    EXPECT_EQ(pending_line_count(LogKind::statistics), 1);

    collect({812, 9, 0, 0, 0}, 10);
    collect({812, 10, 0, 0, 0}, 11);
    EXPECT_EQ(read_file_bytes(stats_log), test_data("stats_pending_in_order.csv"));
}

TEST_F(PendingLines, FailedWriteCutsBackTheOpenedLogNotTheFileNowOfItsName) {
    if (!FileSizeLimit::available()) GTEST_SKIP() << "no limit on the size of files here";
    collect({812, 3, 0, 0, 0}, 8);
    const std::string before = read_file_bytes(stats_log);
    const OpenedLog opened = open_log(stats_log);
    ASSERT_EQ(opened.state, LogOpen::appending);
    ASSERT_EQ(opened.size_before, static_cast<std::int64_t>(before.size()));
    // The log is moved away while the step holds it open, and another file takes its name.
    ASSERT_EQ(std::rename(stats_log.c_str(), "moved.csv"), 0);
    const std::string other(before.size() * 2, 'x');
    write_file_bytes(stats_log, other);
    {
        const FileSizeLimit limit(before.size() + 10);
        ASSERT_TRUE(limit.active());
        append_log_line(LogKind::statistics, stats_log, opened, "", std::string(200, 'y') + "\r\n");
    }
    EXPECT_EQ(read_file_bytes("moved.csv"), before);
    EXPECT_EQ(read_file_bytes(stats_log), other);
    EXPECT_EQ(pending_line_count(LogKind::statistics), 1);
}

TEST_F(PendingLines, CycleEndedWithoutCollectionStillShowsWhatWaits) {
    collect({812, 3, 0, 0, 0}, 8);
    collect_unopenable({812, 5, 0, 0, 0}, 9);
    show_cycle_status("17:10 router closed the connection");
    EXPECT_EQ(recorded.statuses.back(),
              "17:10 router closed the connection   kelvastats.csv not written: 1 pending");
}

TEST_F(PendingLines, BinsLinePendingIsShownAfterTheStatisticsPart) {
    collect({812, 3, 0, 0, 0}, 8);
    settings.received_text = showbins_reply(0);
    ASSERT_EQ(write_bins(), LogStep::done);
    {
        const UnopenableLogs unopenable;
        ASSERT_TRUE(unopenable.active());
        collect({812, 5, 0, 0, 0}, 9);
        settings.received_text = showbins_reply(1);
        write_bins();
    }
    EXPECT_EQ(recorded.statuses.back(),
              "Collection: 17:09   DeltaCRC: 2   kelvastats.csv not written: 1 pending"
              "   kelvabins.csv not written: 1 pending");

    collect({812, 9, 0, 0, 0}, 10);
    EXPECT_EQ(recorded.statuses.back(),
              "Collection: 17:10   DeltaCRC: 4   kelvabins.csv not written: 1 pending");
    const auto shown = recorded.statuses.size();
    settings.received_text = showbins_reply(2);
    write_bins();
    EXPECT_EQ(recorded.statuses.back(), "Collection: 17:10   DeltaCRC: 4");
    EXPECT_EQ(line_count(read_file_bytes(bins_log)), 2 + 3);

    // A bins step that changes nothing pending leaves the status line alone.
    write_bins();
    EXPECT_EQ(recorded.statuses.size(), shown + 1);
}

TEST_F(PendingLines, RetryAtProgramEndWritesWhatWaits) {
    collect({812, 3, 0, 0, 0}, 8);
    collect_unopenable({812, 5, 0, 0, 0}, 9);
    collect_unopenable({812, 9, 0, 0, 0}, 10);
    {
        const UnopenableLogs unopenable;
        EXPECT_EQ(retry_pending_log_lines(), 2);
    }
    // The log went away meanwhile: it is started again with the header.
    ASSERT_TRUE(std::filesystem::remove(stats_log));
    EXPECT_EQ(retry_pending_log_lines(), 0);
    const std::string expected = test_data("stats_pending_in_order.csv");
    const std::string header = expected.substr(0, expected.find("\r\n") + 2);
    const std::string log = read_file_bytes(stats_log);
    EXPECT_EQ(log.substr(0, header.size()), header);
    EXPECT_EQ(line_count(log), 3);
    EXPECT_NE(log.find("\r\n07/12/26,17:09,0,2,"), std::string::npos);
    EXPECT_EQ(log.substr(log.find("\r\n07/12/26,17:10,") + 2, 23), "07/12/26,17:10,0,4,0,0,");
}

}  // namespace
