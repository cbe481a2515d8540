// The bins step: header lines of a new log, bit counts read from the cells, total, failures.
#include "stats/bins_log.h"

#include <filesystem>

#include "runtime/file_layer.h"
#include "settings/settings.h"
#include "stats_test_env.h"
#include "tools/router_replies.h"

namespace {

const std::string bins_log = "kelvabins.csv";

LogStep collect_bins(const std::string& reply) {
    settings.received_text = reply;
    return write_bins();
}

std::int32_t columns(const std::string& line) {
    return static_cast<std::int32_t>(std::count(line.begin(), line.end(), ',')) + 1;
}

TEST(BitCountText, TakesTheFifthFieldAfterPairsOfBlanksBecomeOne) {
    const std::pair<std::string, std::string> cases[] = {
        {"   7   8   9  10  11", "9"},  // three blanks become two: empty fields count
        {"  1  2  3  4  5  6  ", "5"},
        {"    0   10.0    0   ", "0"},  // the simulated router's
                                        // layout
        {"  231   25.3    3   ", "3"},
        {"1 2 3 4 12x", "12x"},
        {"1 2 3", ""},
        {"", ""},
    };
    std::string collapsed;
    for (const auto& [cell, bits] : cases)
        EXPECT_EQ(bit_count_text(cell, collapsed), bits) << '"' << cell << '"';
}

using BinsLog = StatsTest;

TEST_F(BinsLog, NewLogGetsHeaderFrequencyRowAndDataLine) {
    EXPECT_EQ(collect_bins(showbins_reply(0)), LogStep::done);
    const std::string log = read_file_bytes(bins_log);
    EXPECT_EQ(log, test_data("bins_new.csv"));

    // Every line names, or fills, 232 slots between the stamps and the total.
    std::size_t start = 0;
    for (int k = 0; k < 3; ++k) {
        const auto end = log.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(columns(log.substr(start, end - start)), 235) << "line " << k + 1;
        start = end + 2;
    }
    EXPECT_NE(log.find(",Bin231,TotalBits\r\n"), std::string::npos);
    EXPECT_NE(log.find(",996Khz,N/A\r\n"), std::string::npos);
    EXPECT_NE(log.find("," + std::to_string(showbins_total(0)) + "\r\n"), std::string::npos);
}

TEST_F(BinsLog, EmptyLogIsStartedAfresh) {
    write_file_bytes(bins_log, "");
    collect_bins(showbins_reply(0));
    EXPECT_EQ(read_file_bytes(bins_log), test_data("bins_new.csv"));
}

TEST_F(BinsLog, CellEdgesGiveTheirTextsAndTotal) {
    // Line 6: the two cells of pair replacement, a text with trailing letters, a negative count,
    // and text past column 80; line 7: letters only, then a short line; line 63: "0" in cell 4.
    const auto cell = [](std::string text) { return text.append(20 - text.size(), ' '); };
    std::string reply = "adsl showbins\r\n\r\n\r\n\r\nTone\r\n";
    reply += cell("   7   8   9  10  11") + cell("  1  2  3  4  5  6  ") + cell("1 2 3 4 12x") +
             cell("1 2 3 4 -3") + "1 2 3 4 99\r\n";
    reply += cell("1 2 3 4 xyz") + "1 2 3\r\n";
    for (int line = 8; line <= 62; ++line) reply += "\r\n";
    reply += std::string(60, ' ') + cell("1 2 3 4 0") + "\r\n> ";
    collect_bins(reply);
    EXPECT_EQ(read_file_bytes(bins_log), test_data("bins_cells.csv"));
}

TEST_F(BinsLog, ShortReplyAppendsEmptySlotsAndZeroTotal) {
    write_file_bytes(bins_log, "earlier,line,without,its,end");
    collect_bins("adsl showbins\r\n> ");
    EXPECT_EQ(read_file_bytes(bins_log), test_data("bins_short_reply.csv"));
}

TEST_F(BinsLog, LogThatCannotBeCreatedEndsTheProgram) {
    ASSERT_TRUE(std::filesystem::create_directory(bins_log));
    EXPECT_EQ(collect_bins(showbins_reply(0)), LogStep::program_ends);
    EXPECT_EQ(recorded.boxes,
              (std::vector<RecordedBox>{{"KelvaStats", "Error: can't write bins logfile", 0}}));
    EXPECT_TRUE(recorded.statuses.empty());
}

TEST_F(BinsLog, LinesReachTheFileInFewWrites) {
    std::int64_t writes_before = file_write_calls();
    collect_bins(showbins_reply(0));
    EXPECT_LE(file_write_calls() - writes_before, 3) << "new log: header lines and data line";

    writes_before = file_write_calls();
    collect_bins(showbins_reply(1));
    EXPECT_LE(file_write_calls() - writes_before, 2) << "data line";
}

}  // namespace
