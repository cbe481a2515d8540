// The report's figures from small hand-made line and tones logs, worked out by hand: counters
// summed across a retrain and an hour down, the clocks going back, gaps, a cut last line, the
// loading rebuilt from bitswap lines, a clock set back, SNR per tone, a changed tone count, and
// the tones log read in two parts giving what one part gives.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "harness/temp_dir.h"
#include "report/line_key_figures.h"
#include "report/log_reading.h"
#include "report/read_line_log.h"
#include "report/read_line_logs.h"
#include "report/read_tones_log.h"
#include "tests/support/file_bytes.h"

namespace {

const char* const line_header =
    "Time,State,Mode,Profile,RateDown,RateUp,AttainableDown,AttainableUp,SNRMarginDown,"
    "SNRMarginUp,AttenuationDown,AttenuationUp,PowerDown,PowerUp,FECDown,FECUp,CRCDown,CRCUp,"
    "HECDown,HECUp,ESDown,ESUp,SESDown,SESUp,UASDown,UASUp,Tones,TotalBits\r\n";

// One line as the collector writes it; `counters` are FEC, CRC, HEC, ES, SES and UAS, down and
// up each, as the log orders them.
std::string row(const std::string& stamp, const std::string& state, const std::string& margins,
                const std::string& counters, const std::string& mode = "VDSL2 Annex B") {
    const bool showtime = state == "Showtime";
    return "2026-10-25T" + stamp + "," + state + "," + mode + "," + (showtime ? "17a" : "") + "," +
           (showtime ? "50000,10000,52000,12000," : ",,,,") + margins + "," +
           (showtime ? "13.6,9.6,14.3,6.0," : ",,,,") + counters + "," +
           (showtime ? "4096,25577" : ",") + "\r\n";
}

// The hand-worked log (see each line's comment). Local times of 25 October 2026, the day the
// clocks go back at 03:00 +02:00 to 02:00 +01:00.
std::string hand_line_log() {
    std::string log = line_header;
    log += row("00:58:00+02:00", "Showtime", "6.1,9.0", "100,10,5,1,0,0,3,1,0,0,20,20");
    // down: FEC +10, CRC +4, ES +2
    log += row("00:59:00+02:00", "Showtime", "6.1,9.0", "110,10,9,1,0,0,5,1,0,0,20,20");
    // The counters fell: a retrain. Each counter counts its new link's total, also the UAS,
    // which did not fall: down FEC 5, CRC 1, ES 1, UAS 21; up UAS 21.
    log += row("01:00:00+02:00", "Showtime", "6.1,9.0", "5,0,1,0,0,0,1,0,0,0,21,21");
    // An hour down (a second retrain): only the unavailable seconds grow, 59 times 60.
    for (int k = 0; k < 60; ++k) {
        const int minute = 1 + k;
        const std::string uas = std::to_string(100 + 60 * k);
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%02d:%02d:00+02:00", minute / 60 + 1, minute % 60);
        log += row(stamp, "Idle", ",", ",,,,,,,,,," + uas + "," + uas);
    }
    // Up again: the new link's totals, down FEC 0, CRC 2, ES 1, SES 1, UAS 3; up UAS 3.
    log += row("02:01:00+02:00", "Showtime", "6.3,9.0", "0,0,2,0,0,0,1,0,1,0,3,3");
    // FEC +7/+1, CRC +4, ES +1; the mode is quoted for its comma.
    log += row("02:02:00+02:00", "Showtime", "6.3,9.0", "7,1,6,0,0,0,2,0,1,0,3,3",
               "\"VDSL2, Annex B\"");
    // 28 minutes later (a gap): FEC +1.
    log += row("02:30:00+02:00", "Showtime", "5.8,9.0", "8,1,6,0,0,0,2,0,1,0,3,3");
    log += "2026-10-25T02:3x:00+02:00,Showtime,,,,,,,,,,,,,99,99\r\n";  // unreadable: skipped
    // 29 minutes later (a gap): CRC +4, and a value that is no number.
    log += row("02:59:00+02:00", "Showtime", "5.9,9.0", "8,1,10,0,0,0,2,0,1,x,3,3");
    // The clocks went back: no gap, no time backwards. CRC +1, then +4.
    log += row("02:00:00+01:00", "Showtime", "6.0,9.0", "8,1,11,0,0,0,2,0,1,0,3,3");
    log += row("02:01:00+01:00", "Showtime", "6.25,9.0", "8,1,15,0,0,0,2,0,1,0,3,3");
    log += "2026-10-25T02:02:00+01:00,Showtime,VD";  // still being written: skipped
    return log;
}

// Eight tones. Tone 1 goes 2, 3, 2 and tone 7 14, 13, 15: two changes each.
const char* const hand_tones_log =
    "Time,Kind,Tone0,Tone1,Tone2,Tone3,Tone4,Tone5,Tone6,Tone7\r\n"
    "2026-10-25T10:00:00+01:00,bitswap,3:5\r\n"  // no bits line before it: cannot be rebuilt
    "2026-10-25T10:01:00+01:00,bits,0,2,4,6,8,10,12,14\r\n"
    "2026-10-25T10:01:00+01:00,snr,0.0,30.5,31.0,,40.2\r\n"
    "2026-10-25T10:02:00+01:00,bitswap,1:3,7:13\r\n"
    "2026-10-25T10:03:00+01:00,bitswap\r\n"
    "2026-10-25T10:04:00+01:00,bitswap,1:2,9:4,x:1\r\n"  // tone 9 and "x" are no tones
    // The collector restarted, on a machine whose clock was put back half an hour.
    "Time,Kind,Tone0,Tone1,Tone2,Tone3,Tone4,Tone5,Tone6,Tone7\r\n"
    "2026-10-25T09:30:00+01:00,bits,0,2,4,6,8,10,12,15\r\n"
    "2026-10-25T09:30:00+01:00,snr,0.0,29.5,32.0,,41.0,20.0\r\n"
    "2026-10-25T09:31:00+01:00,bitswap,4:7\r\n"
    "2026-10-25T09:32:00+01:00,bitswap,4:8\r\n";

class LineLogs : public ::testing::Test {
  protected:
    LineLogsFigures read() {
        LineLogsFigures figures;
        read_line_logs(dir_.path(), -1, -1, figures);
        return figures;
    }
    std::string path(const char* name) const { return dir_.path() + "/" + name; }
    TempDir dir_{"kelva_line_logs_"};
};

bool has_line(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

TEST_F(LineLogs, CountersAreSummedAcrossARetrainAndAnHourDownAndTheClockChangeIsNoGap) {
    write_file_bytes(path("kelvaline.csv"), hand_line_log());
    const LineLogsFigures figures = read();
    ASSERT_EQ(figures.line_read, LogRead::read);
    EXPECT_EQ(figures.tones_read, LogRead::missing);
    const std::string text = line_key_figures_text(figures);
    for (const char* expected : {
             "period: 25/10/26 00:58 to 25/10/26 02:01",
             "collections: 69 line, 0 tones",
             "interval: 1 min",
             "gaps: 2, 55 collections missing",
             "showtime: 13.04% of collections (9 of 69)",
             "retrains: 2",
             "errors down: FEC 23, CRC 20, ES 5, SES 1, UAS 3564",
             "errors up: FEC 1, CRC 0, ES 0, SES 0, UAS 3564",
             "worst CRC hour: 25/10/26 02:00, 15 errors",  // both 02:00 hours, as the clock shows
             "SNR margin down: lowest 5.8, highest 6.3, latest 6.25",
             "SNR margin up: lowest 9.0, highest 9.0, latest 9.0",
             "rate down: lowest 50000, highest 50000, latest 50000",
             "skipped lines: 2",
         })
        EXPECT_TRUE(has_line(text, expected)) << expected << "\nin:\n" << text;
    const LineLogFigures& line = figures.line;
    EXPECT_EQ(line.clock_changes, 1);
    EXPECT_EQ(line.spacings.backwards(), 0);
    EXPECT_EQ(line.quality.not_numbers, 1);
    EXPECT_EQ(line.quality.other_column_count, 0);  // the quoted mode is one field
    ASSERT_EQ(line.retrains.size(), 2u);
    EXPECT_FALSE(line.retrains[0].down);
    EXPECT_TRUE(line.retrains[1].down);
    EXPECT_EQ(format_stamp(line.retrains[1].at), "25/10/26 01:01");
    EXPECT_EQ(line.mode, "VDSL2 Annex B");
}

TonesLogFigures read_tones(const std::string& path, std::int64_t split_at) {
    TonesLogFigures figures;
    const ReportPeriod period = period_of({path}, line_log_stamp, -1, -1);
    EXPECT_EQ(read_tones_log(path, period, figures, nullptr, split_at), LogRead::read);
    return figures;
}

TEST_F(LineLogs, TheLoadingIsRebuiltFromBitswapLinesAlsoWhenReadInTwoParts) {
    const std::string tones_path = path("kelvatones.csv");
    write_file_bytes(tones_path, hand_tones_log);
    const TonesLogFigures whole = read_tones(tones_path, 0);
    EXPECT_EQ(whole.tones, 8);
    EXPECT_EQ(whole.spacings.collections(), 8);
    EXPECT_EQ(whole.not_rebuilt, 1);
    EXPECT_EQ(whole.quality.not_numbers, 2);
    EXPECT_EQ(whole.tone_count_changes, 0);
    EXPECT_EQ(whole.spacings.backwards(), 1);
    EXPECT_EQ(whole.clock_changes, 0);
    EXPECT_EQ(whole.changes, (std::vector<std::int64_t>{0, 2, 0, 0, 2, 0, 0, 2}));
    EXPECT_EQ(whole.lowest, (std::vector<std::int32_t>{0, 2, 4, 6, 7, 10, 12, 13}));
    EXPECT_EQ(whole.highest, (std::vector<std::int32_t>{0, 3, 4, 6, 8, 10, 12, 15}));
    EXPECT_EQ(whole.latest, (std::vector<std::int32_t>{0, 2, 4, 6, 8, 10, 12, 15}));
    // 0.0 is what Broadcom's modems print for a tone they do not measure: no reading.
    const std::vector<float> latest = {NAN, 29.5f, 32.0f, NAN, 41.0f, 20.0f, NAN, NAN};
    const std::vector<float> lowest = {NAN, 29.5f, 31.0f, NAN, 40.2f, 20.0f, NAN, NAN};
    for (std::size_t tone = 0; tone < 8; ++tone) {
        EXPECT_EQ(std::isnan(whole.snr_latest[tone]), std::isnan(latest[tone])) << tone;
        EXPECT_EQ(std::isnan(whole.snr_lowest[tone]), std::isnan(lowest[tone])) << tone;
        if (!std::isnan(latest[tone])) {
            EXPECT_FLOAT_EQ(whole.snr_latest[tone], latest[tone]);
        }
        if (!std::isnan(lowest[tone])) {
            EXPECT_FLOAT_EQ(whole.snr_lowest[tone], lowest[tone]);
        }
    }
    // Every bit of every collection rebuilt is in the heat map: 7 collections of 8 tones.
    std::int64_t cells = 0;
    for (const std::int64_t count : whole.heat_counts) cells += count;
    EXPECT_EQ(cells, 7 * 8);

    const std::int64_t size = static_cast<std::int64_t>(std::string(hand_tones_log).size());
    for (std::int64_t split = 1; split < size; ++split) {
        const TonesLogFigures parts = read_tones(tones_path, split);
        SCOPED_TRACE("split at " + std::to_string(split));
        EXPECT_EQ(parts.changes, whole.changes);
        EXPECT_EQ(parts.lowest, whole.lowest);
        EXPECT_EQ(parts.highest, whole.highest);
        EXPECT_EQ(parts.latest, whole.latest);
        EXPECT_EQ(parts.heat_sums, whole.heat_sums);
        EXPECT_EQ(parts.heat_counts, whole.heat_counts);
        EXPECT_EQ(parts.spacings.collections(), whole.spacings.collections());
        EXPECT_EQ(parts.spacings.median(), whole.spacings.median());
        EXPECT_EQ(parts.spacings.backwards(), whole.spacings.backwards());
        EXPECT_EQ(parts.quality.data_lines, whole.quality.data_lines);
        EXPECT_EQ(parts.not_rebuilt, whole.not_rebuilt);
        EXPECT_EQ(parts.snr_lines, whole.snr_lines);
        EXPECT_FLOAT_EQ(parts.snr_lowest[2], whole.snr_lowest[2]);
        EXPECT_FLOAT_EQ(parts.snr_latest[2], whole.snr_latest[2]);
    }

    // A modem with another tone count: the figures are those of the new count only.
    write_file_bytes(tones_path, std::string(hand_tones_log) +
                                     "Time,Kind,Tone0,Tone1,Tone2,Tone3\r\n"
                                     "2026-10-25T12:00:00+01:00,bits,1,2,3,4\r\n"
                                     "2026-10-25T12:01:00+01:00,bitswap,3:5\r\n"
                                     "2026-10-25T12:02:00+01:00,bits,1,2,3,5,6");  // cut
    const TonesLogFigures changed = read_tones(tones_path, 0);
    EXPECT_EQ(changed.tones, 4);
    EXPECT_EQ(changed.tone_count_changes, 1);
    EXPECT_EQ(changed.latest, (std::vector<std::int32_t>{1, 2, 3, 5}));
    EXPECT_EQ(changed.changes, (std::vector<std::int64_t>{0, 0, 0, 1}));
    EXPECT_TRUE(changed.quality.unfinished_last_line);
    EXPECT_TRUE(std::isnan(changed.snr_latest[1]));
}

}  // namespace
