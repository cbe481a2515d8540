// The news of the cycles: which events a run of cycles raises, once each and in order, the
// figures of the latest interval, and what an event command is told.
#include "collector/line_news.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stats/pending_lines.h"

namespace {

LineRecord showtime_record(std::uint64_t crc_down, std::uint64_t es_down) {
    LineRecord record;
    record.state = "Showtime";
    record.mode = "VDSL2";
    record.rate = {69846, 19999};
    record.snr_margin = {"6.6", "9.4"};
    record.attenuation = {"12.5", ""};
    record.crc = {crc_down, 7};
    record.fec = {1000, 20};
    record.es = {es_down, 1};
    record.ses = {0, 0};
    return record;
}

class News : public ::testing::Test {
  protected:
    // One cycle: collected with `record`, or missed for `reason`; the names of its events.
    std::vector<std::string> cycle(const LineRecord* record, std::string_view reason = "",
                                   bool alarm = false) {
        CycleReport report;
        report.collected = record != nullptr;
        report.reason = reason;
        report.line_record = record;
        figures_.pending_lines = pending_;
        if (record != nullptr) figures_.tone_bits = {2, 15, 15, 0};
        ++now_;
        notices_ =
            news_.take_cycle(figures_, report, now_, WallClock{2026, 12, 9, 21, 4, 0, 60}, alarm);
        std::vector<std::string> names;
        for (const LineNotice& notice : notices_) names.emplace_back(event_name(notice.event));
        return names;
    }
    using Names = std::vector<std::string>;

    LineNews news_{"broadcom", "127.0.0.1"};
    LineFigures figures_;
    std::array<std::int32_t, log_kinds.size()> pending_{};
    std::vector<LineNotice> notices_;
    std::int64_t now_ = 1'800'000'000;
};

TEST_F(News, EachChangeOfTheLineIsToldOnceInOrder) {
    LineRecord up = showtime_record(100, 4);
    EXPECT_EQ(cycle(&up), Names{});
    EXPECT_FALSE(news_.snapshot().crc.down) << "no interval before the first collection";

    up = showtime_record(130, 6);
    EXPECT_EQ(cycle(&up, "", true), Names{"alarm"});
    EXPECT_EQ(news_.snapshot().crc.down, 30);
    EXPECT_EQ(news_.snapshot().es.down, 2);
    EXPECT_EQ(news_.snapshot().total_bits, 32);
    EXPECT_EQ(news_.snapshot().last_collection_time, "2026-12-09T21:04:00+01:00");

    // A counter that fell between two collections in showtime: the new link's total counts.
    up = showtime_record(5, 0);
    EXPECT_EQ(cycle(&up), Names{"retrain"});
    EXPECT_EQ(notices_[0].detail, "the line retrained: CRC down fell from 130 to 5");
    EXPECT_EQ(news_.snapshot().crc.down, 5);

    LineRecord down;
    down.state = "Idle";
    EXPECT_EQ(cycle(&down), Names{"line-down"})
        << "the counters going with the line are no retrain";
    EXPECT_EQ(cycle(&down), Names{});
    up = showtime_record(0, 0);
    EXPECT_EQ(cycle(&up), Names{"line-up"});
    EXPECT_EQ(notices_[0].detail, "the line is in showtime again at 69846/19999 kbit/s");

    // Two cycles without the router are no news, the third is, once; any answer ends it.
    EXPECT_EQ(cycle(nullptr, "unreachable"), Names{});
    EXPECT_EQ(cycle(nullptr, "unreachable"), Names{});
    EXPECT_EQ(cycle(nullptr, "unreachable"), Names{"unreachable"});
    EXPECT_EQ(cycle(nullptr, "unreachable"), Names{});
    EXPECT_TRUE(news_.snapshot().rate_kbits.down) << "the latest figures stay";
    EXPECT_EQ(cycle(nullptr, "refused"), Names{"reachable"});
    EXPECT_EQ(cycle(nullptr, "unreachable"), Names{});

    pending_[static_cast<std::size_t>(LogKind::line)] = 1;
    EXPECT_EQ(cycle(&up), Names{"log-unwritable"});
    EXPECT_EQ(notices_[0].detail, "a log cannot be written: kelvaline.csv (1 line waits)");
    pending_[static_cast<std::size_t>(LogKind::line)] = 2;
    EXPECT_EQ(cycle(&up), Names{});
    pending_ = {};
    EXPECT_EQ(cycle(&up), Names{"log-written"});
}

TEST_F(News, ClassicCountersGiveTheirChangesAndAFallIsARetrain) {
    LineNews classic("classic", "127.0.0.1");
    LineFigures figures;
    figures.has_status = true;
    figures.has_bins = true;
    figures.bins.total = 7000;
    CycleReport report;
    report.collected = true;
    const WallClock clock;
    figures.error_counters = {500, 40, 3, 0, 0};
    EXPECT_TRUE(classic.take_cycle(figures, report, 1, clock, false).empty());
    figures.error_counters = {520, 43, 3, 1, 0};
    EXPECT_TRUE(classic.take_cycle(figures, report, 2, clock, false).empty());
    EXPECT_EQ(classic.snapshot().classic_changes, (std::array<std::int64_t, 5>{20, 3, 0, 1, 0}));
    EXPECT_EQ(classic.snapshot().crc.down, 3);
    EXPECT_EQ(classic.snapshot().total_bits, 7000);
    EXPECT_FALSE(classic.snapshot().showtime) << "the classic reply has no state word";
    figures.error_counters = {2, 0, 0, 0, 0};
    const auto notices = classic.take_cycle(figures, report, 3, clock, false);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].detail, "the line retrained: FEC fell from 520 to 2");
}

TEST_F(News, TheCommandIsToldTheEventAndTheFiguresOnly) {
    LineRecord up = showtime_record(100, 4);
    cycle(&up);
    up = showtime_record(103, 4);
    up.state = "Showtime\nKELVASTATS_EVENT=forged";  // a router's text is never split into two
    cycle(&up, "", true);
    ASSERT_EQ(notices_.size(), 1u);
    const std::vector<std::string> environment = event_environment(notices_[0], news_.snapshot());
    const auto has = [&](const std::string& variable) {
        return std::find(environment.begin(), environment.end(), variable) != environment.end();
    };
    EXPECT_TRUE(has("KELVASTATS_EVENT=alarm"));
    EXPECT_TRUE(has("KELVASTATS_TIME=2026-12-09T21:04:00+01:00"));
    EXPECT_TRUE(has("KELVASTATS_RATE_DOWN=69846"));
    EXPECT_TRUE(has("KELVASTATS_SNR_MARGIN_UP=9.4"));
    EXPECT_TRUE(has("KELVASTATS_CRC_DOWN=3"));
    EXPECT_TRUE(has("KELVASTATS_ADDRESS=127.0.0.1"));
    for (const std::string& variable : environment) {
        EXPECT_EQ(variable.find('\n'), std::string::npos) << variable;
        EXPECT_FALSE(variable.starts_with("KELVASTATS_STATE=")) << variable;
    }
}

}  // namespace
