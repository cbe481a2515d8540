// Splitting the status reply into lines and reading values, counters and labels from them.
#include "stats/status_reply.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

namespace {

struct SplitCase {
    const char* name;
    std::string reply;
    std::int32_t line_count;
    std::map<std::int32_t, std::string> lines;  // index -> expected text
};

TEST(SplitReplyLines, CutsAtLineFeedsAndDropsOnlyACarriageReturnBefore) {
    const SplitCase cases[] = {
        {"no line feed is no line", "show adsl> ", 0, {{1, ""}, {2, ""}}},
        {"text after the last line feed is not stored",
         "A\r\nBC\r\nD",
         2,
         {{1, "A"}, {2, "BC"}, {3, ""}}},
        {"bare line feed keeps every byte", "A\r\nBC\n", 2, {{2, "BC"}}},
        {"CR LF and bare LF mixed", "A\r\nB\nC\r\n", 3, {{1, "A"}, {2, "B"}, {3, "C"}}},
        {"one line ended by CR LF", "A\r\n", 1, {{1, "A"}, {2, ""}}},
        {"empty lines and a lone CR",
         "\n\r\nx\n\r\r\n",
         4,
         {{1, ""}, {2, ""}, {3, "x"}, {4, "\r"}}},
        {"zero byte ends the reply", std::string("A\r\n\0B\r\n", 7), 1, {{1, "A"}, {2, ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReplyLineViews reply_lines;
        EXPECT_EQ(split_reply_lines(c.reply, reply_lines), c.line_count);
        EXPECT_EQ(reply_lines[0], "");
        for (const auto& [index, text] : c.lines)
            EXPECT_EQ(reply_lines[index], text) << "line " << index;
    }
}

TEST(SplitReplyLines, TableAlwaysHoldsTheLineAfterTheLast) {
    for (const std::int32_t line_feeds : {0, 254, 255, 256, 1000}) {
        SCOPED_TRACE(line_feeds);
        std::string reply;
        for (std::int32_t k = 1; k <= line_feeds; ++k) reply += "L" + std::to_string(k) + "\r\n";
        ReplyLineViews reply_lines;
        ASSERT_EQ(split_reply_lines(reply, reply_lines), line_feeds);
        ASSERT_GE(reply_lines.size(), std::max<std::size_t>(257, line_feeds + 2));
        EXPECT_EQ(reply_lines[line_feeds + 1], "");
        if (line_feeds > 0) {
            EXPECT_EQ(reply_lines[line_feeds], "L" + std::to_string(line_feeds));
        }
    }
}

TEST(SplitReplyLines, SplitsLongRepliesInLinearTime) {
    // 4 MiB in 400,000 lines: quadratic scanning would take hours, a linear split milliseconds.
    std::string reply;
    for (int k = 0; k < 400000; ++k) reply += "Near End\t=\t" + std::to_string(k % 10) + "\r\n";
    const auto start = std::chrono::steady_clock::now();
    ReplyLineViews reply_lines;
    ASSERT_EQ(split_reply_lines(reply, reply_lines), 400000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(reply_lines[400000], "Near End\t=\t9");
}

TEST(SplitReplyLines, CountersAreReadFromTheirLinesOfTheFirstLineOn) {
    std::string reply;
    for (std::int32_t k = 1; k <= 40; ++k) reply += "line\t=\t" + std::to_string(k * 10) + "\r\n";
    ReplyLineViews reply_lines;
    split_reply_lines(reply, reply_lines);
    EXPECT_EQ(counter_value(reply_lines[fec_line]), 270);
    EXPECT_EQ(counter_value(reply_lines[ocd_line]), 310);

    // One extra line at the start moves every counter by one line.
    const std::string with_banner = "banner\r\n" + reply;
    split_reply_lines(with_banner, reply_lines);
    EXPECT_EQ(counter_value(reply_lines[fec_line]), 260);
}

struct ValueCase {
    std::string line;
    std::string value_text;
    std::int32_t counter;
    std::string column_value;
};

TEST(ValueText, JoinsTabFieldsThreeToSeven) {
    const ValueCase cases[] = {
        {"FEC:\t\t812\t", "812", 812, "812"},
        {"a\tb\t5\tx\t7\ty\tz\t99", "5x7yz", 5, "5x7yz"},
        {"a\tb\t5\t\t7", "57", 57, "57"},
        {"CRC\t=\t-7", "-7", -7, "-7"},
        {"SNR\t=\t 15 dB", " 15 dB", 15, " 15 "},
        {"Mode\t=\tADSL2+", "ADSL2+", 0, "ADSL2+"},
        {"SNR margin\t=\t25.5 dB", "25.5 dB", 25, "25.5 "},
        {"Margins\t=\t6dB,3dB", "6dB,3dB", 6, "6,3"},
        {"Gain\t=\t4 DB 2 db 1 dBdB", "4 DB 2 db 1 dBdB", 4, "4 DB 2 db 1 "},
        {"Big\t=\t4294967297", "4294967297", 1, "4294967297"},
        {"no tabs at all = 5", "", 0, ""},
        {"", "", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(value_text(c.line), c.value_text);
        EXPECT_EQ(counter_value(c.line), c.counter);
        EXPECT_EQ(column_value(c.line), c.column_value);
    }
}

TEST(ColumnLabel, CutsAtFortyCharactersCountingTheComma) {
    const std::string thirty_nine(39, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"   Near End FEC   =\t\t812\t", "Near End FEC   ,"},
        {"Line state\t=\tShowtime", "Line state\t,"},
        {"\tTabbed = 1", "\tTabbed ,"},
        {"a=b=c", "a,"},
        {thirty_nine, thirty_nine + ","},
        {thirty_nine + "y", thirty_nine + "y"},
        {std::string(45, 'z'), std::string(40, 'z')},
        {"  " + std::string(35, 'w') + "   = 7", std::string(35, 'w')},
        {"", ","},
        {"    ", ","},
    };
    for (const auto& [line, label] : cases) {
        SCOPED_TRACE(line);
        EXPECT_EQ(column_label(line), label);
    }
}

}  // namespace
