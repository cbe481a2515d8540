// The statistics step: the log's header and data lines, counter changes, status line and alarm.
#include "stats/statistics_log.h"

#include <array>
#include <filesystem>

#include "report/log_lines.h"
#include "runtime/file_layer.h"
#include "runtime/stop.h"
#include "runtime/tone.h"
#include "settings/settings.h"
#include "stats/alarm.h"
#include "stats/bins_log.h"
#include "stats_test_env.h"
#include "tools/router_replies.h"

namespace {

const std::string stats_log = "kelvastats.csv";

// A reply whose lines probe labels and values: long labels, tabs, units and commas in values.
const std::string probe_reply =
    "show adsl\r\n"
    "   Near End FEC   =\t\t812\t\r\n"
    "Line of exactly thirty-nine characters.\r\n"
    "Line of exactly forty characters no sign\r\n"
    "A line of forty-five characters with no sign!\r\n"
    "     Label cut inside its blanks, long     =\t\t7\t\r\n"
    "SNR margin\t=\t\t25.5 dB\t\r\n"
    "Target/min margin =\t\t6dB,3dB\t\r\n"
    "Gain =\t\t-12 DB db\t\r\n"
    "Vendor\tX\t5\tY\t7\tZ\t9\t10\r\n"
    "> ";

LogStep collect_reply(const std::string& reply) {
    settings.received_text = reply;
    return write_statistics();
}

LogStep collect(const LineCounters& counters) {
    return collect_reply(show_adsl_reply(counters));
}

std::string last_line(const std::string& log) {
    const auto end = log.rfind("\r\n");
    const auto start = log.rfind("\r\n", end - 1);
    return log.substr(start == std::string::npos ? 0 : start + 2,
                      end - (start == std::string::npos ? 0 : start + 2));
}

// A clock that is read just before midnight and has passed it at every later read.
int clock_reads = 0;
WallClock clock_passing_midnight() {
    return clock_reads++ == 0 ? WallClock{2026, 12, 31, 23, 59, 59}
                              : WallClock{2027, 1, 1, 0, 0, 0};
}

using StatisticsLog = StatsTest;

TEST_F(StatisticsLog, BareLineFeedReplyLogsTheSameLineAsCrLf) {
    const std::string reply = show_adsl_reply({812, 3, 0, 0, 0});
    ASSERT_EQ(collect_reply(reply), LogStep::done);
    std::string bare = reply;
    std::erase(bare, '\r');
    ASSERT_EQ(collect_reply(bare), LogStep::done);
    const std::string log = read_file_bytes(stats_log);
    const auto lines = log.substr(log.find("\r\n") + 2);
    const auto first = lines.substr(0, lines.find("\r\n"));
    EXPECT_EQ(last_line(log), first);
    EXPECT_EQ(settings.prev_fec, 812);
}

TEST_F(StatisticsLog, BothStampsOfALineComeFromOneClockReading) {
    set_clock_source(&clock_passing_midnight);
    clock_reads = 0;
    ASSERT_EQ(collect({812, 3, 0, 0, 0}), LogStep::done);
    EXPECT_EQ(last_line(read_file_bytes(stats_log)).substr(0, 15), "31/12/26,23:59,");

    clock_reads = 0;
    settings.received_text = showbins_reply(0);
    ASSERT_EQ(write_bins(), LogStep::done);
    EXPECT_EQ(last_line(read_file_bytes("kelvabins.csv")).substr(0, 15), "31/12/26,23:59,");
}

// Past 19 January 2038 03:14:07 a 32-bit date value wraps and every line would say "31/12/69".
TEST_F(StatisticsLog, StampsPast2038AreWrittenAndReadBackAsTheirYears) {
    struct Case {
        WallClock clock;
        std::string_view stamps;
    };
    const Case cases[] = {
        {{2038, 1, 19, 3, 14, 7}, "19/01/38,03:14,"},
        {{2038, 1, 19, 3, 14, 8}, "19/01/38,03:14,"},
        {{2040, 2, 29, 12, 0, 0}, "29/02/40,12:00,"},
        {{2099, 12, 31, 23, 59, 59}, "31/12/99,23:59,"},
    };
    for (const Case& c : cases) {
        test_clock = c.clock;
        ASSERT_EQ(collect({812, 3, 0, 0, 0}), LogStep::done);
        EXPECT_EQ(last_line(read_file_bytes(stats_log)).substr(0, 15), c.stamps);
        settings.received_text = showbins_reply(0);
        ASSERT_EQ(write_bins(), LogStep::done);
        EXPECT_EQ(last_line(read_file_bytes("kelvabins.csv")).substr(0, 15), c.stamps);
    }
    // The report's reader takes each line back to the minute it was written.
    for (const std::string& log : {stats_log, std::string("kelvabins.csv")}) {
        std::vector<StampFields> read;
        LogQuality quality;
        ASSERT_EQ(
            walk_log(
                log, ReportPeriod{}, quality, nullptr, [](std::string_view) {},
                [](std::string_view line) { return line.starts_with("N/A"); },  // tone frequencies
                [&](std::string_view, WallMinute stamp) { read.push_back(stamp_fields(stamp)); }),
            LogRead::read);
        ASSERT_EQ(read.size(), std::size(cases)) << log;
        for (std::size_t i = 0; i < read.size(); ++i) {
            const WallClock& written = cases[i].clock;
            EXPECT_EQ((std::array{read[i].year, read[i].month, read[i].day, read[i].hour,
                                  read[i].minute}),
                      (std::array{written.year, written.month, written.day, written.hour,
                                  written.minute}))
                << log << " line " << i + 1;
        }
    }
}

TEST_F(StatisticsLog, NewLogGetsHeaderAndZeroDeltas) {
    EXPECT_EQ(collect({812, 3, 0, 0, 0}), LogStep::done);
    EXPECT_EQ(read_file_bytes(stats_log), test_data("stats_new.csv"));
    EXPECT_EQ(recorded.statuses, std::vector<std::string>{"Collection: 17:08   DeltaCRC: 0"});
    EXPECT_EQ(settings.first_collection, 0);
    EXPECT_EQ(settings.prev_fec, 812);
    EXPECT_EQ(settings.delta_fec, 812);  // the first step keeps the computed change, logs "0"
}

TEST_F(StatisticsLog, EmptyLogIsStartedAfresh) {
    write_file_bytes(stats_log, "");
    collect({812, 3, 0, 0, 0});
    EXPECT_EQ(read_file_bytes(stats_log), test_data("stats_new.csv"));
}

TEST_F(StatisticsLog, ExistingLogGetsOnlyTheDataLineAfterItsLastByte) {
    write_file_bytes(stats_log, test_data("stats_existing.csv"));
    collect({812, 3, 0, 0, 0});
    EXPECT_EQ(read_file_bytes(stats_log), test_data("stats_appended.csv"));
}

TEST_F(StatisticsLog, RisingEqualAndFallingCountersLogTheirChanges) {
    collect({812, 3, 5, 0, 0});
    test_clock.minute = 9;
    collect({820, 3, 2, 0, 0});
    EXPECT_EQ(read_file_bytes(stats_log), test_data("stats_second_collection.csv"));
    EXPECT_EQ(settings.delta_fec, 8);
    EXPECT_EQ(settings.delta_crc, 0);
    EXPECT_EQ(settings.delta_hec, -3);  // kept as computed, logged as "0"
    EXPECT_EQ(settings.prev_hec, 2);
}

TEST_F(StatisticsLog, CounterWrappingPastInt32LogsTheWrappedChange) {
    collect({2147483647, 0, 0, 0, 0});
    collect({-2147483647 - 1, 0, 0, 0, 0});
    EXPECT_EQ(settings.delta_fec, 1);
    EXPECT_EQ(last_line(read_file_bytes(stats_log)).substr(0, 17), "07/12/26,17:08,1,");
}

TEST_F(StatisticsLog, ReplyWithoutLineFeedLogsOnlyTheFixedColumns) {
    collect_reply("show adsl> ");
    EXPECT_EQ(read_file_bytes(stats_log), test_data("stats_no_line_feed.csv"));
}

TEST_F(StatisticsLog, ReplyOfOneLineLogsOneEmptyColumn) {
    collect_reply("show adsl\r\n");
    EXPECT_EQ(read_file_bytes(stats_log), test_data("stats_one_line.csv"));
}

TEST_F(StatisticsLog, LabelsAreCutAndUnitsRemovedAsTheLogExpects) {
    collect_reply(probe_reply);
    EXPECT_EQ(read_file_bytes(stats_log), test_data("stats_labels_and_units.csv"));
}

TEST_F(StatisticsLog, ShortReplyRestartsTheCountersFromZero) {
    collect({812, 3, 0, 0, 0});
    collect_reply("show adsl\r\n> ");
    EXPECT_EQ(settings.prev_fec, 0);
    EXPECT_EQ(settings.prev_crc, 0);
    collect({812, 3, 0, 0, 0});
    EXPECT_EQ(last_line(read_file_bytes(stats_log)).substr(0, 23), "07/12/26,17:08,812,3,0,");
}

TEST_F(StatisticsLog, StatusShowsTheTimeOfCollectionAndItsCrcChange) {
    collect({0, 0, 0, 0, 0});
    test_clock.hour = 9;
    test_clock.minute = 5;
    collect({0, 12, 0, 0, 0});
    EXPECT_EQ(recorded.statuses.back(), "Collection: 09:05   DeltaCRC: 12");
}

TEST_F(StatisticsLog, LogThatCannotBeCreatedEndsTheProgramUnchanged) {
    ASSERT_TRUE(std::filesystem::create_directory(stats_log));
    EXPECT_EQ(collect({812, 3, 0, 0, 0}), LogStep::program_ends);
    EXPECT_EQ(recorded.boxes,
              (std::vector<RecordedBox>{{"KelvaStats", "Error: can't write logfile", 0}}));
    EXPECT_TRUE(recorded.statuses.empty());
    EXPECT_EQ(settings.prev_fec, 0);
    EXPECT_EQ(settings.delta_fec, 0);
    EXPECT_EQ(settings.first_collection, 1);
}

TEST_F(StatisticsLog, DataLineReachesTheFileInOneWrite) {
    write_file_bytes(stats_log, test_data("stats_existing.csv"));
    const std::int64_t writes_before = file_write_calls();
    collect({812, 3, 0, 0, 0});
    EXPECT_EQ(file_write_calls() - writes_before, 1);
}

struct AlarmCase {
    const char* name;
    std::int32_t threshold;
    std::int32_t first_crc;
    bool second_collection;
    std::int32_t second_crc;
    std::string shown_delta;
    bool sounds;
};

TEST_F(StatisticsLog, AlarmSoundsOnlyWhenTheCrcChangeExceedsThreshold) {
    const AlarmCase cases[] = {
        {"threshold 0 is off", 0, 0, true, 100, "100", false},
        {"negative threshold is off", -1, 0, true, 100, "100", false},
        {"change equal to threshold", 5, 10, true, 15, "5", false},
        {"change above threshold", 5, 10, true, 16, "6", true},
        {"falling counter", 5, 100, true, 0, "0", false},
        {"unchanged counter", 5, 100, true, 100, "0", false},
        {"first collection", 5, 1000, false, 0, "0", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        settings.alarm_threshold = c.threshold;
        collect({0, c.first_crc, 0, 0, 0});
        if (c.second_collection) collect({0, c.second_crc, 0, 0, 0});
        EXPECT_EQ(recorded.statuses.back(), "Collection: 17:08   DeltaCRC: " + c.shown_delta);
        using Tones = std::vector<std::pair<std::int32_t, std::int32_t>>;
        const Tones alarm{{1000, 300}, {900, 300}, {1000, 300}, {900, 300}};
        EXPECT_EQ(recorded.tones, c.sounds ? alarm : Tones{});
    }
}

TEST_F(StatisticsLog, AlarmEndsAtAStopRequest) {
    static std::shared_ptr<StopState> stop;
    stop = make_stop_state();
    bind_stop_state(stop);
    set_tone_output([](std::int32_t frequency_hz, std::int32_t duration_ms) {
        recorded.tones.emplace_back(frequency_hz, duration_ms);
        request_stop(*stop);
    });
    sound_alarm();
    bind_stop_state(nullptr);
    EXPECT_EQ(recorded.tones.size(), 1u);
}

}  // namespace
