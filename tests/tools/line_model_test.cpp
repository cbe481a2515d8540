// The line model walked collection after collection gives the figures of each collection alone,
// and a line with error bursts has its errors in the evening and in bursts.
#include "tools/line_model.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

TEST(LineWalker, GivesWhatEachCollectionAloneGivesAcrossRetrainsAndJumps) {
    for (const LineKind kind : {LineKind::vdsl17a, LineKind::adsl2plus}) {
        for (const bool bursts : {false, true}) {
            SCOPED_TRACE(testing::Message() << line_profile(kind) << " bursts " << bursts);
            LineModelOptions options{kind, false, 3};
            options.error_bursts = bursts;
            options.first_minute_of_day = 19 * 60 - 100;
            LineWalker walker(options);
            int retrains = 0;
            int last_retrain = 0;
            for (int n = 0; n < 300; ++n) {
                const LineCollection& line = walker.at(n);
                ASSERT_EQ(line, line_collection(options, n)) << n;
                if (!line.retrained) continue;
                ++retrains;
                EXPECT_EQ(next_retrain(options, last_retrain + 1), n);
                EXPECT_EQ(next_retrain(options, n), n);
                last_retrain = n;
            }
            EXPECT_GE(retrains, 4);
            // Backwards, and twice the same.
            EXPECT_EQ(walker.at(40), line_collection(options, 40));
            EXPECT_EQ(walker.at(40), line_collection(options, 40));
            EXPECT_EQ(walker.at(41), line_collection(options, 41));
        }
    }
    const LineModelOptions down{LineKind::vdsl17a, true, 1};
    LineWalker walker(down);
    EXPECT_EQ(walker.at(0), line_collection(down, 0));
    EXPECT_EQ(walker.at(1), line_collection(down, 1));
    EXPECT_EQ(next_retrain(down, 0), -1);
}

TEST(LineWalker, BurstyErrorsComeInTheEveningAndInBurstsAndTheMarginDipsWithThem) {
    LineModelOptions options;
    options.train_shortest = 20 * 1440;  // no retrain in the week
    options.error_bursts = true;
    options.first_minute_of_day = 6 * 60;
    LineWalker walker(options);
    std::array<std::uint64_t, 24> crc_by_hour{};
    int burst_minutes = 0;
    std::int64_t margin_sum[2] = {0, 0};  // day, evening
    int margin_count[2] = {0, 0};
    std::uint64_t previous = walker.at(0).counts.crc.down;
    for (int n = 1; n < 7 * 1440; ++n) {
        const LineCollection& line = walker.at(n);
        const std::uint64_t growth = line.counts.crc.down - previous;
        previous = line.counts.crc.down;
        const int hour = (6 * 60 + n) / 60 % 24;
        const bool evening = hour >= 19 && hour <= 22;
        if (growth >= 20) {
            ++burst_minutes;
            continue;
        }
        crc_by_hour[static_cast<std::size_t>(hour)] += growth;
        margin_sum[evening] += line.snr_margin_tenths.down;
        ++margin_count[evening];
    }
    EXPECT_GE(burst_minutes, 3);
    EXPECT_LT(burst_minutes, 7 * 1440 / 50);
    for (int hour = 0; hour < 24; ++hour) {
        if (hour >= 19 && hour <= 22) continue;
        for (int evening = 19; evening <= 22; ++evening)
            EXPECT_GT(crc_by_hour[static_cast<std::size_t>(evening)],
                      3 * crc_by_hour[static_cast<std::size_t>(hour)])
                << evening << " against " << hour;
    }
    EXPECT_LT(margin_sum[1] * margin_count[0], margin_sum[0] * margin_count[1]);
}

}  // namespace
