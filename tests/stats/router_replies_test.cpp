// The simulated router's replies: the fixtures are exactly these texts, and the parsers find in
// them what the simulator meant to say.
#include "tools/router_replies.h"

#include "stats/bins_log.h"
#include "stats/status_reply.h"
#include "stats_test_env.h"

namespace {

TEST(RouterReplies, FixturesAreTheSimulatorsTexts) {
    EXPECT_EQ(show_adsl_reply({812, 3, 0, 0, 0}), test_data("show_adsl.txt"));
    EXPECT_EQ(showbins_reply(0), test_data("showbins.txt"));
}

TEST(RouterReplies, CountersStandWhereTheParserReadsThem) {
    const LineCounters cases[] = {
        {812, 3, 0, 0, 0}, {0, 0, 0, 0, 0}, {2147483647, -5, 17, 1, 999999}};
    for (const auto& counters : cases) {
        ReplyLineViews reply_lines;
        const std::string reply = show_adsl_reply(counters);
        EXPECT_EQ(split_reply_lines(reply, reply_lines), 40);
        EXPECT_EQ(counter_value(reply_lines[fec_line]), counters.fec);
        EXPECT_EQ(counter_value(reply_lines[crc_line]), counters.crc);
        EXPECT_EQ(counter_value(reply_lines[hec_line]), counters.hec);
        EXPECT_EQ(counter_value(reply_lines[ncd_line]), counters.ncd);
        EXPECT_EQ(counter_value(reply_lines[ocd_line]), counters.ocd);
    }
}

TEST(RouterReplies, EveryCellOfTheBitTableGivesItsTonesBits) {
    for (const std::int32_t variant : {0, 1, 2, 7, -1}) {
        ReplyLineViews reply_lines;
        const std::string reply = showbins_reply(variant);
        split_reply_lines(reply, reply_lines);
        std::int32_t total = 0;
        for (std::int32_t slot = 0; slot < bin_slots; ++slot) {
            const std::string_view line = reply_lines[6 + slot / 4];
            std::string collapsed;
            const std::string bits(bit_count_text(mid(line, 20 * (slot % 4) + 1, 20), collapsed));
            EXPECT_EQ(bits, std::to_string(showbins_bits(slot, variant)))
                << "slot " << slot << " variant " << variant;
            total += to_number(bits);
        }
        EXPECT_EQ(total, showbins_total(variant));
    }
}

}  // namespace
