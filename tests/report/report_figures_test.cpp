// The report's figures from small hand-made logs, worked out by hand: gaps and missing
// collections, totals, the worst hour, changes per tone, time going backwards and bad lines.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "harness/temp_dir.h"
#include "report/html_report.h"
#include "report/key_figures.h"
#include "report/line_reader.h"
#include "report/read_bins.h"
#include "report/read_logs.h"
#include "report/reply_columns.h"
#include "report/time_axis.h"
#include "tests/support/file_bytes.h"

namespace {

// Spacings of the used lines: 1, 1, 3, 1, 10, 44, -30, 31, 1, so the median is 1 and a gap is
// longer than 3 minutes: 10, 44 and 31, missing 9 + 43 + 30. CRC: 3 in hour 10, 3 in hour 11.
const char* const hand_statistics_log =
    "Date, Time,FCDeltaFEC,FCDeltaCRC,FCDeltaHEC,FCDeltaNCD,FCDeltaOCD,,Downstream rate      ,"
    "Target/min margin    ,,\r\n"
    "01/03/26,10:00,0,0,0,0,0,,8128 kbps,6,3,,\r\n"
    "01/03/26,10:01,5,2,0,0,0,,8128 kbps,6,3,,\r\n"
    "01/03/26,10:02,1,0,0,0,0,,8000 kbps,6,3,,\r\n"
    "01/03/26,10:05,0,1,0,0,0,,8128 kbps,6,3,,\r\n"
    "01/03/26,10:06,0,0,1,0,0,,8128 kbps,6,3,,\r\n"
    "01/03/26,10:16,2,0,0,0,0,,8128 kbps,6,3,,\r\n"
    "xx/03/26,10:17,7,7,7,7,7,,8128 kbps,6,3,,\r\n"  // unreadable stamp: skipped
    "01/03/26,11:00,0,3,0,0,0,,8128 kbps,6,3,,\r\n"
    "01/03/26,10:30,0,0,0,0,0,,8128 kbps,6,3,,\r\n"       // the clock went back
    "01/03/26,11:01,x,0,0,0,0,,8128 kbps,6,3,,\r\n"       // a change that is not a number
    "01/03/26,11:02,1,0,0,0,0,,8128 kbps,6,3,,,new,\r\n"  // the reply grew
    "01/03/26,11:03,9,9";                                 // still being written: skipped

// An older layout naming three tones: the fourth tone's bits are glued to the total.
const char* const hand_bins_log =
    "Date, Time,Bin0,Bin1,Bin2,TotalBits\r\n"
    "N/A, N/A,0Khz,4Khz,8Khz,N/A\r\n"
    "01/03/26,10:00,2,3,4,514\r\n"  // 5 bits and a total of 14
    "01/03/26,10:01,2,4,4,010\r\n"  // 0 bits and a total of 10
    "01/03/26,10:02,1,4,,05\r\n";   // tone 2 unreadable; the total 5 is the others' sum

class ReportFigures : public ::testing::Test {
  protected:
    void write_logs(const std::string& statistics, const std::string& bins) {
        write_file_bytes(dir_.path() + "/kelvastats.csv", statistics);
        write_file_bytes(dir_.path() + "/kelvabins.csv", bins);
    }
    LogFigures read(WallMinute since = -1, WallMinute until = -1) {
        LogFigures figures;
        read_logs(dir_.path(), since, until, figures);
        return figures;
    }
    TempDir dir_{"kelva_report_"};
};

TEST_F(ReportFigures, HandMadeLogsGiveTheHandWorkedKeyFigures) {
    write_logs(hand_statistics_log, hand_bins_log);
    const LogFigures figures = read();
    EXPECT_EQ(key_figures_text(figures),
              "period: 01/03/26 10:00 to 01/03/26 11:02\n"
              "collections: 10 statistics, 3 bins\n"
              "interval: 1 min\n"
              "gaps: 3, 82 collections missing\n"
              "errors: FEC 9, CRC 6, HEC 1, NCD 0, OCD 0\n"
              "worst CRC hour: 01/03/26 10:00, 3 errors\n"  // the tie goes to the earlier hour
              "total bits: lowest 5, highest 14, latest 5\n"
              "skipped lines: 2\n");

    const LogQuality& stats = figures.stats.quality;
    EXPECT_EQ(stats.unreadable_stamps, 1);
    EXPECT_EQ(stats.first_unreadable_line, 8);
    EXPECT_TRUE(stats.unfinished_last_line);
    EXPECT_EQ(stats.other_column_count, 1);
    EXPECT_EQ(stats.not_numbers, 1);
    EXPECT_EQ(figures.stats.spacings.backwards(), 1);
}

TEST_F(ReportFigures, TonesAreReadByPositionAndTheirChangesCounted) {
    write_logs(hand_statistics_log, hand_bins_log);
    const BinsFigures bins = read().bins;
    ASSERT_EQ(bins.tones, 3);
    EXPECT_EQ(bins.frequencies_khz, (std::vector<std::int32_t>{0, 4, 8}));
    EXPECT_EQ(bins.lowest, (std::vector<std::int32_t>{1, 3, 4}));
    EXPECT_EQ(bins.highest, (std::vector<std::int32_t>{2, 4, 4}));
    EXPECT_EQ(bins.latest, (std::vector<std::int32_t>{1, 4, 4}));
    EXPECT_EQ(bins.changes, (std::vector<std::int64_t>{1, 1, 0}));
    EXPECT_EQ(bins.quality.not_numbers, 1);
    // The heat map's minute columns: at 10:02 tone 2 has no value to draw.
    EXPECT_EQ(bins.heat_counts[2 * 3 + 1], 1);
    EXPECT_EQ(bins.heat_counts[2 * 3 + 2], 0);
    EXPECT_EQ(bins.heat_sums[0 * 3 + 2], 4);
    EXPECT_EQ(glued_total("14573", 559), 573);  // 14 bits glued to 573
    EXPECT_EQ(glued_total("999", 5), -1);
}

// Everything the bins figures hold, as text, to compare two readings.
std::string bins_summary(const BinsFigures& bins) {
    std::string text;
    const auto list = [&](const auto& values) {
        for (const auto value : values) text += std::to_string(value) + " ";
        text += "| ";
    };
    list(bins.lowest), list(bins.highest), list(bins.latest), list(bins.changes);
    list(bins.heat_sums), list(bins.heat_counts);
    for (const BucketValues& bucket : bins.total_buckets)
        text += std::to_string(bucket.count) + ":" + std::to_string(bucket.sum) + ":" +
                std::to_string(bucket.lowest) + ":" + std::to_string(bucket.highest) + " ";
    const Spacings& spacings = bins.spacings;
    for (const std::int64_t value :
         {spacings.collections(), std::int64_t{spacings.first()}, std::int64_t{spacings.last()},
          spacings.backwards(), std::int64_t{spacings.median()},
          static_cast<std::int64_t>(spacings.gaps().size()), bins.total_lines, bins.lowest_total,
          bins.highest_total, bins.latest_total, bins.quality.data_lines,
          bins.quality.unreadable_stamps, bins.quality.first_unreadable_line,
          std::int64_t{bins.quality.unfinished_last_line}, bins.quality.not_numbers,
          std::int64_t{bins.quality.usual_columns}, bins.quality.other_column_count})
        text += std::to_string(value) + " ";
    return text;
}

TEST_F(ReportFigures, BinsLogReadInTwoPartsGivesTheFiguresOfOneReading) {
    const std::string log = std::string(hand_bins_log) +
                            "01/03/26,10:09,3,3,3,514\r\n"  // a gap, and a changed column count
                            "01/03/26,10:04,3,3\r\n"        // back in time, and short
                            "zz,10:05,1,1,1,0\r\n"
                            "01/03/26,10:06,2,2,2,06\r\n"
                            "01/03/26,10:07,2,2";
    write_logs("", log);
    const std::string path = dir_.path() + "/kelvabins.csv";
    const LogFigures whole = read();
    const std::string expected = bins_summary(whole.bins);
    // The seam on each line's last byte, first byte and second byte: a line belongs to the part
    // in which it starts, and each byte is read for the progress once.
    for (std::size_t feed = log.find('\n'); feed != std::string::npos;
         feed = log.find('\n', feed + 1)) {
        for (const auto seam :
             {static_cast<std::int64_t>(feed), static_cast<std::int64_t>(feed) + 1,
              static_cast<std::int64_t>(feed) + 2}) {
            BinsFigures parts;
            std::atomic<std::int64_t> bytes_read{0};
            ASSERT_EQ(read_bins(path, whole.period, parts, &bytes_read, seam), LogRead::read);
            ASSERT_EQ(bins_summary(parts), expected) << "second part from byte " << seam;
            ASSERT_EQ(bytes_read, static_cast<std::int64_t>(log.size()))  // the progress
                << "second part from byte " << seam;
        }
    }
}

// The log with each value after the stamp that starts with a digit written with a leading zero
// on every other data line (the bins log's last column, a total that may be glued, left as it
// is): the same figures, but no line equals the one before it or shares a field with it.
std::string every_other_line_zero_led(const std::string& log, int header_lines, bool keep_last) {
    std::string result;
    int line_number = 0;
    for (std::size_t start = 0; start < log.size(); ++line_number) {
        const std::size_t feed = log.find('\n', start);
        const std::size_t end = feed == std::string::npos ? log.size() : feed + 1;
        std::string line = log.substr(start, end - start);
        start = end;
        if (line_number < header_lines || line_number % 2 == 0) {
            result += line;
            continue;
        }
        std::string changed;
        std::size_t field_start = 0;
        for (int field = 0; field_start <= line.size(); ++field) {
            const std::size_t comma = line.find(',', field_start);
            const bool last = comma == std::string::npos;
            const std::string text =
                line.substr(field_start, last ? std::string::npos : comma - field_start);
            const bool digit = !text.empty() && text[0] >= '0' && text[0] <= '9';
            changed +=
                (field >= 2 && digit && !(last && keep_last) ? "0" : "") + text + (last ? "" : ",");
            if (last) break;
            field_start = comma + 1;
        }
        result += changed;
    }
    return result;
}

std::string reply_summary(const StatisticsFigures& stats) {
    std::string text;
    for (const ReplyColumn& column : stats.columns) {
        text += std::to_string(column.numbers) + "/" + std::to_string(column.not_numbers) + ":";
        for (const BucketValues& bucket : column.buckets)
            text += std::to_string(bucket.count) + " " + std::to_string(bucket.sum) + " " +
                    std::to_string(bucket.lowest) + " " + std::to_string(bucket.highest) + ";";
        text += "\n";
    }
    for (const std::int64_t value : stats.error_totals) text += std::to_string(value) + " ";
    return text + std::to_string(stats.quality.not_numbers) + " " +
           std::to_string(stats.quality.other_column_count);
}

// Lines equal to the one before are counted at a glance, and a reply field equal to its column's
// last text is not read again: the figures must be those of every line read in full. Runs of
// equal bins lines cross heat columns of 3 minutes (the period is 14 hours), hold a value that is
// not a number, are short, pass a line that cannot be read and go back in time; the statistics
// log's values change, come back and go back an hour.
TEST_F(ReportFigures, LinesLikeTheOneBeforeGiveTheFiguresOfLinesReadInFull) {
    const std::string bins = std::string(hand_bins_log) +
                             "01/03/26,10:03,1,4,,05\r\n"
                             "01/03/26,10:04,1,4,,05\r\n"
                             "01/03/26,10:05,3,3,3,514\r\n"
                             "01/03/26,10:06,3,3,3,514\r\n"
                             "zz/03/26,10:07,0,0,0,0\r\n"
                             "01/03/26,10:08,3,3,3,514\r\n"
                             "01/03/26,10:09,3,3\r\n"
                             "01/03/26,10:10,3,3\r\n"
                             "01/03/26,10:04,3,3\r\n"
                             "01/03/26,23:59,3,3,3,514\r\n";
    write_logs(hand_statistics_log, bins);
    const LogFigures whole = read();
    const std::string expected_bins = bins_summary(whole.bins);
    const std::string expected_reply = reply_summary(whole.stats);
    write_logs(every_other_line_zero_led(hand_statistics_log, 1, false),
               every_other_line_zero_led(bins, 2, true));
    const LogFigures in_full = read();
    EXPECT_EQ(bins_summary(in_full.bins), expected_bins);
    EXPECT_EQ(reply_summary(in_full.stats), expected_reply);
    EXPECT_EQ(in_full.bins.heat_sums[1 * 3 + 0], 1 + 1 + 3 + 3);  // 10:03 to 10:05, and 10:04 again
    const BucketValues& hour_ten = whole.stats.columns[1].buckets[0];  // with 10:30, after 11:00
    EXPECT_EQ(hour_ten.count, 7);
    EXPECT_EQ(hour_ten.sum, 6 * 8128 + 8000);
}

TEST(ReportLines, LastLineWithoutLineEndKeepsItsBytesAndOffsets) {
    TempDir dir("kelva_report_lines_");
    write_file_bytes(dir.path() + "/log", "a\r\nbcdef");
    LineReader reader(dir.path() + "/log");
    std::string_view line;
    LineEnd end;
    ASSERT_TRUE(reader.next(line, end));
    EXPECT_EQ(line, "a");
    ASSERT_TRUE(reader.next(line, end));
    EXPECT_EQ(line, "bcdef");
    EXPECT_EQ(end, LineEnd::none);
    EXPECT_EQ(reader.line_offset(), 3);
    EXPECT_FALSE(reader.next(line, end));
}

TEST_F(ReportFigures, LogsOfTheProgramItselfGiveTheirTotals) {
    write_logs(read_file_bytes(KELVA_TEST_DATA_DIR "/stats_pending_in_order.csv"),
               read_file_bytes(KELVA_TEST_DATA_DIR "/bins_new.csv"));
    const LogFigures figures = read();
    EXPECT_EQ(figures.bins.tones, current_tone_count);
    EXPECT_EQ(figures.bins.frequencies_khz[231], 996);
    EXPECT_EQ(figures.bins.latest_total, 1885);
    EXPECT_EQ(figures.stats.error_totals[crc], 7);
    EXPECT_EQ(figures.stats.worst_crc_hour, read_stamp("07/12/26", "17:00"));
    // The header's "Target/min margin" holds two values in every data line.
    const std::string html = html_report(figures);
    EXPECT_NE(html.find("Target/min margin (2)"), std::string::npos);
    EXPECT_NE(html.find("Downstream rate: 16384"), std::string::npos);
}

TEST_F(ReportFigures, BadLogsAreReportedAndTheRestStillRead) {
    std::string long_line(2 << 20, '7');
    write_logs("Date, Time,FCDeltaFEC,FCDeltaCRC,FCDeltaHEC,FCDeltaNCD,FCDeltaOCD,\r\n" +
                   long_line + "\r\n01/03/26,10:00,0,1,0,0,0,\r\n",
               "");
    const LogFigures figures = read();
    EXPECT_EQ(figures.stats.quality.unreadable_stamps, 1);
    EXPECT_EQ(figures.stats.spacings.collections(), 1);
    EXPECT_TRUE(figures.bins.quality.empty);
    const std::string html = html_report(figures);
    EXPECT_NE(html.find("empty (0 bytes)"), std::string::npos);
    EXPECT_NE(html.find("cannot be read (the first is line 2)"), std::string::npos);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("http"), std::string::npos);
}

TEST_F(ReportFigures, WideOrBrokenValuesGiveWholeAxisLabelsAndOnlyValidNumbers) {
    // Status columns whose values are wide, huge (70 digits), negative, long decimals or none.
    const std::string huge(70, '9');
    std::string log =
        "Date, Time,FCDeltaFEC,FCDeltaCRC,FCDeltaHEC,FCDeltaNCD,FCDeltaOCD,,Wide,Huge,"
        "Signed,Long,None,\r\n";
    // CRC changes of 18 digits, whose sum is beyond 64 bits.
    for (const char* minute : {"00", "01", "02", "03", "04", "05", "06", "07", "08", "09", "10"})
        log += std::string("01/03/26,10:") + minute + ",0,999999999999999999,0,0,0,,81234567," +
               huge + ",-123456789.5,0.000000123456789,abc,\r\n";
    write_logs(log, "");
    const LogFigures figures = read();
    EXPECT_EQ(figures.stats.error_totals[crc], INT64_MAX);
    const std::string html = html_report(figures);
    EXPECT_NE(html.find(">81.2M</text>"), std::string::npos);
    EXPECT_NE(html.find(">-123M</text>"), std::string::npos);
    EXPECT_EQ(html.find(".234567"), std::string::npos);
    // Every y label fits the margin of the narrowest chart (6 characters) and is a number.
    const std::regex whole_or_short("-?[0-9]+(\\.[0-9]+)?[kMGTPE]?|-?[0-9](\\.[0-9]+)?e[0-9]+");
    std::size_t labels = 0;
    for (std::size_t at = html.find("class=\"yl\""); at != std::string::npos;
         at = html.find("class=\"yl\"", at + 1), ++labels) {
        const std::size_t start = html.find('>', at) + 1;
        const std::string label = html.substr(start, html.find('<', start) - start);
        EXPECT_TRUE(std::regex_match(label, whole_or_short)) << label;
        EXPECT_LE(label.size(), 6u) << label;
    }
    EXPECT_GT(labels, 12u);
    for (const char c : html)
        ASSERT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int{c};
}

TEST_F(ReportFigures, SinceAndUntilTakeWholeDaysInclusive) {
    write_logs(
        "Date, Time,FCDeltaFEC,FCDeltaCRC,FCDeltaHEC,FCDeltaNCD,FCDeltaOCD,\r\n"
        "28/02/26,23:59,0,1,0,0,0,\r\n01/03/26,00:00,0,2,0,0,0,\r\n"
        "01/03/26,23:59,0,4,0,0,0,\r\n02/03/26,00:00,0,8,0,0,0,\r\n",
        "");
    const LogFigures figures = read(read_day("2026-03-01"), read_day("2026-03-01"));
    EXPECT_EQ(figures.stats.spacings.collections(), 2);
    EXPECT_EQ(figures.stats.error_totals[crc], 6);
    EXPECT_EQ(figures.stats.quality.outside_period, 2);
}

TEST(ReportSpacings, EvenCountTakesTheLowerMiddleAndGapsRoundTheirMissing) {
    Spacings spacings;
    for (const WallMinute stamp : {0, 1, 6, 16}) spacings.add(stamp);  // spacings 1, 5, 10
    EXPECT_EQ(spacings.median(), 5);
    Spacings even;
    for (const WallMinute stamp : {0, 1, 6}) even.add(stamp);  // 1 and 5
    EXPECT_EQ(even.median(), 1);
    ASSERT_EQ(even.gaps().size(), 1u);
    EXPECT_EQ(even.missing(even.gaps()[0]), 4);
    EXPECT_TRUE(spacings.gaps().empty());  // 10 is not longer than 2 * 5 + 1
}

TEST(ReportTimeAxis, HourBucketsUpTo500HoursThenDays) {
    const WallMinute start = read_day("2026-01-01");
    EXPECT_EQ(time_buckets(start, start + 500 * 60 - 1).width, minutes_per_hour);
    const TimeSlices year = time_buckets(start, start + 365 * minutes_per_day - 1);
    EXPECT_EQ(year.width, minutes_per_day);
    EXPECT_EQ(year.count, 365);
    EXPECT_LE(heat_columns(start, start + 365 * minutes_per_day - 1).count, most_heat_columns);
    EXPECT_EQ(year.index(start - 5), 0);  // a clock that jumped outside goes to the nearer end
}

TEST(ReportStamps, OnlyRealDatesAndTimesAreReadAndEveryYearOfTheCentury) {
    EXPECT_EQ(format_stamp(read_stamp("29/02/28", "23:59")), "29/02/28 23:59");
    // Past 2038, when 32-bit seconds end, and up to the last year two digits can name.
    for (const auto& [stamp, year] : {std::pair{"19/01/38", 2038}, std::pair{"20/01/38", 2038},
                                      std::pair{"29/02/40", 2040}, std::pair{"31/12/99", 2099}}) {
        const WallMinute minute = read_stamp(stamp, "23:59");
        EXPECT_EQ(stamp_fields(minute).year, year) << stamp;
        EXPECT_EQ(format_day(minute), stamp);
    }
    EXPECT_EQ(read_stamp("31/12/99", "23:59") + 1,
              read_day("2099-12-31") + minutes_per_day);  // the last minute a log can name
    EXPECT_EQ(read_day("2100-01-01"), day_outside_logs);
    EXPECT_EQ(read_day("1999-12-31"), day_outside_logs);
    EXPECT_EQ(read_day("6084-02-29"), day_outside_logs);
    EXPECT_EQ(read_day("6085-02-29"), -1);
    EXPECT_EQ(read_stamp("29/02/26", "10:00"), -1);
    EXPECT_EQ(read_stamp("01/03/26", "24:00"), -1);
    EXPECT_EQ(read_stamp("1/03/26 ", "10:00"), -1);
}

}  // namespace
