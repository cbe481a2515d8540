// The line step: both logs byte for byte, the loadings a reader rebuilds from the tones log, lines
// of unwritable logs kept in order, the console's status line and the CRC alarm.
#include "stats/line_step.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings.h"
#include "stats/line_log.h"
#include "stats/pending_lines.h"
#include "stats_test_env.h"
#include "unopenable_logs.h"

namespace {

const std::string line_log(line_log_name);
const std::string tones_log(tones_log_name);
constexpr double no_snr = std::nan("");

LineRecord showtime_record() {
    LineRecord r;
    r.state = "Showtime";
    r.mode = "VDSL2";
    r.profile = "17a";
    r.rate = {68094, 19999};
    r.attainable = {72000, 21000};
    r.snr_margin = {"6.1", "5.9"};
    r.attenuation = {"12.5", "-0.5"};
    r.power = {"13.9", "6.0"};
    r.fec = {1234567, 89};
    r.crc = {42, 7};
    r.hec = {0, 0};
    r.es = {12, 3};
    r.ses = {1, 0};
    r.uas = {30, 30};
    r.bits = {0, 2, 9, 10, 15, 14, 3, 0};
    r.snr = {no_snr, 12.5, 38.04, 41.96, -0.04, 50.0, 20.26, no_snr};
    return r;
}

const std::string tones_header_8 = "Time,Kind,Tone0,Tone1,Tone2,Tone3,Tone4,Tone5,Tone6,Tone7\r\n";

void at(int hour, int minute, int offset_minutes = 60) {
    test_clock.hour = hour;
    test_clock.minute = minute;
    test_clock.utc_offset_minutes = offset_minutes;
}

void collect(const LineRecord& record) {
    ASSERT_EQ(write_line_logs(record), LogStep::done);
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string::npos;) {
        parts.push_back(text.substr(start, end - start));
        start = end + separator.size();
    }
    parts.push_back(text.substr(start));
    return parts;
}

// Every collection's loading as a reader rebuilds it from the tones log: the latest bits line
// with each bitswap line after it applied. No line may have more fields than the header above it.
std::vector<std::vector<std::uint8_t>> rebuild_loadings(const std::string& log) {
    std::vector<std::vector<std::uint8_t>> loadings;
    std::vector<std::uint8_t> loading;
    std::size_t header_fields = 0;
    for (const std::string& line : split(log, "\r\n")) {
        if (line.empty()) continue;
        const std::vector<std::string> fields = split(line, ",");
        if (fields[0] == "Time") {
            header_fields = fields.size();
            continue;
        }
        EXPECT_LE(fields.size(), header_fields) << line;
        if (fields[1] == "bits") {
            loading.clear();
            for (std::size_t k = 2; k < fields.size(); ++k)
                loading.push_back(static_cast<std::uint8_t>(std::stoi(fields[k])));
        } else if (fields[1] == "bitswap") {
            for (std::size_t k = 2; k < fields.size(); ++k) {
                const auto colon = fields[k].find(':');
                loading.at(std::stoul(fields[k].substr(0, colon))) =
                    static_cast<std::uint8_t>(std::stoi(fields[k].substr(colon + 1)));
            }
        } else {
            continue;
        }
        loadings.push_back(loading);
    }
    return loadings;
}

using LineStep = StatsTest;

TEST_F(LineStep, NewLogsGetHeadersThenTheFullRecord) {
    test_clock.utc_offset_minutes = 60;
    collect(showtime_record());
    EXPECT_EQ(read_file_bytes(line_log),
              "Time,State,Mode,Profile,RateDown,RateUp,AttainableDown,AttainableUp,SNRMarginDown,"
              "SNRMarginUp,AttenuationDown,AttenuationUp,PowerDown,PowerUp,FECDown,FECUp,CRCDown,"
              "CRCUp,HECDown,HECUp,ESDown,ESUp,SESDown,SESUp,UASDown,UASUp,Tones,TotalBits\r\n"
              "2026-12-07T17:08:00+01:00,Showtime,VDSL2,17a,68094,19999,72000,21000,6.1,5.9,12.5,"
              "-0.5,13.9,6.0,1234567,89,42,7,0,0,12,3,1,0,30,30,8,53\r\n");
    // NaN tones empty, one decimal, no "-0.0", the empty fields at the end left out.
    EXPECT_EQ(read_file_bytes(tones_log),
              tones_header_8 +
                  "2026-12-07T17:08:00+01:00,bits,0,2,9,10,15,14,3,0\r\n"
                  "2026-12-07T17:08:00+01:00,snr,,12.5,38.0,42.0,0.0,50.0,20.3\r\n");
    EXPECT_EQ(recorded.statuses.back(),
              "Collection: 17:08   Showtime   Rate 68094/19999 kbit/s   SNR margin 6.1/5.9 dB   "
              "DeltaCRC: 0");
}

TEST_F(LineStep, LineDownRecordWritesEmptyFieldsAndNoTonesLine) {
    LineRecord down;
    down.state = "Idle";
    down.rate.up = 1024;  // a figure one side only
    test_clock.utc_offset_minutes = -210;
    collect(down);
    const std::string log = read_file_bytes(line_log);
    EXPECT_EQ(
        log.substr(log.find("\r\n") + 2),
        "2026-12-07T17:08:00-03:30,Idle,,,," + std::string("1024") + std::string(22, ',') + "\r\n");
    EXPECT_FALSE(std::filesystem::exists(tones_log));
    EXPECT_EQ(recorded.statuses.back(), "Collection: 17:08   Idle   Rate -/1024 kbit/s");
}

TEST_F(LineStep, FamilyTextsNeverBreakAColumn) {
    const std::pair<std::string, std::string> cases[] = {
        {"Showtime", "Showtime"},
        {"G.992.5, Annex B", "\"G.992.5, Annex B\""},
        {"say \"up\"", "\"say \"\"up\"\"\""},
        {"two\r\nlines\t", "two  lines "},
        {"", ""},
    };
    for (const auto& [text, field] : cases) EXPECT_EQ(csv_text_field(text), field) << text;
}

TEST_F(LineStep, ChangesAreCompactUntilTheyCostMoreThanAWholeLine) {
    at(17, 8);
    LineRecord r = showtime_record();
    collect(r);
    at(17, 9);
    r.bits[3] = 9;
    r.bits[6] = 4;
    r.snr[1] = 13.0;  // an SNR within the same hour is not written again
    collect(r);
    at(17, 10);
    collect(r);
    at(17, 11);
    for (auto& b : r.bits) b = static_cast<std::uint8_t>(b + 1);  // a retrain: all tones moved
    collect(r);
    at(18, 0);  // a new hour
    collect(r);
    at(18, 1);
    r.bits.resize(3);
    r.snr.clear();
    collect(r);
    EXPECT_EQ(read_file_bytes(tones_log),
              tones_header_8 +
                  "2026-12-07T17:08:00+01:00,bits,0,2,9,10,15,14,3,0\r\n"
                  "2026-12-07T17:08:00+01:00,snr,,12.5,38.0,42.0,0.0,50.0,20.3\r\n"
                  "2026-12-07T17:09:00+01:00,bitswap,3:9,6:4\r\n"
                  "2026-12-07T17:10:00+01:00,bitswap\r\n"
                  "2026-12-07T17:11:00+01:00,bits,1,3,10,10,16,15,5,1\r\n"
                  "2026-12-07T18:00:00+01:00,bits,1,3,10,10,16,15,5,1\r\n"
                  "2026-12-07T18:00:00+01:00,snr,,13.0,38.0,42.0,0.0,50.0,20.3\r\n"
                  "Time,Kind,Tone0,Tone1,Tone2\r\n"
                  "2026-12-07T18:01:00+01:00,bits,1,3,10\r\n");
}

TEST_F(LineStep, ClocksGoingBackGiveAWholeLineAndStampsThatDiffer) {
    test_clock = {2026, 10, 25, 2, 58, 0, 120};
    LineRecord r = showtime_record();
    r.snr.clear();
    collect(r);
    at(2, 59, 120);
    collect(r);
    at(2, 0, 60);  // summer time ends: the same hour again, an hour later
    collect(r);
    at(2, 1, 60);
    collect(r);
    at(1, 30, 60);  // the clock set back by hand
    collect(r);
    const std::string log = read_file_bytes(tones_log);
    EXPECT_EQ(log.substr(tones_header_8.size()),
              "2026-10-25T02:58:00+02:00,bits,0,2,9,10,15,14,3,0\r\n"
              "2026-10-25T02:59:00+02:00,bitswap\r\n"
              "2026-10-25T02:00:00+01:00,bits,0,2,9,10,15,14,3,0\r\n"
              "2026-10-25T02:01:00+01:00,bitswap\r\n"
              "2026-10-25T01:30:00+01:00,bits,0,2,9,10,15,14,3,0\r\n");
}

TEST_F(LineStep, EveryCollectionsLoadingRebuildsFromTheLog) {
    std::vector<std::vector<std::uint8_t>> loadings;
    LineRecord r = showtime_record();
    r.bits.assign(64, 8);
    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t below) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % below;
    };
    for (int k = 0; k < 300; ++k) {
        at(17 + (8 + k) / 60, (8 + k) % 60);
        if (k == 50) {  // the log moved away: the new one must stand on its own
            std::filesystem::remove(tones_log);
            loadings.clear();
        }
        if (k == 150) r.bits.resize(48);  // a new tone count
        if (k == 200) {
            // The collector started again, its memory gone, on a line with more tones.
            reset_line_step();
            r.bits.resize(64, 3);
        }
        const std::uint32_t swaps = k == 100 ? 64 : next(4);  // a retrain at 100
        for (std::uint32_t s = 0; s < swaps; ++s)
            r.bits[next(static_cast<std::uint32_t>(r.bits.size()))] =
                static_cast<std::uint8_t>(next(16));
        collect(r);
        loadings.push_back(r.bits);
    }
    EXPECT_EQ(rebuild_loadings(read_file_bytes(tones_log)), loadings);
}

TEST_F(LineStep, UnwritableLogsKeepTheirLinesInOrder) {
    LineRecord r = showtime_record();
    const auto run = [&r](bool unwritable_middle) {
        for (int k = 0; k < 4; ++k) {
            at(17, 8 + k);
            r.crc.down = 42 + k;
            r.bits[2] = static_cast<std::uint8_t>(k);
            if (unwritable_middle && (k == 1 || k == 2)) {
                const UnopenableLogs unopenable;
                ASSERT_TRUE(unopenable.active());
                collect(r);
            } else {
                collect(r);
            }
            if (k == 2) {
                EXPECT_EQ(
                    recorded.statuses.back(),
                    "Collection: 17:10   Showtime   Rate 68094/19999 kbit/s   SNR margin "
                    "6.1/5.9 dB   DeltaCRC: 1" +
                        std::string(unwritable_middle ? "   kelvaline.csv not written: 2 pending"
                                                        "   kelvatones.csv not written: 2 pending"
                                                      : ""));
            }
        }
    };
    run(false);
    const std::string line_expected = read_file_bytes(line_log);
    const std::string tones_expected = read_file_bytes(tones_log);
    std::filesystem::remove(line_log);
    std::filesystem::remove(tones_log);
    reset_line_step();
    run(true);
    EXPECT_EQ(read_file_bytes(line_log), line_expected);
    EXPECT_EQ(read_file_bytes(tones_log), tones_expected);
    EXPECT_EQ(pending_line_count(LogKind::line) + pending_line_count(LogKind::tones), 0);

    // Lines still waiting at program end: the retry writes them too.
    {
        const UnopenableLogs unopenable;
        collect(r);
        EXPECT_EQ(pending_line_count(LogKind::tones), 1);
    }
    EXPECT_EQ(retry_pending_log_lines(), 0);
    EXPECT_EQ(split(read_file_bytes(line_log), "\r\n").size(), 1 + 4 + 1 + 1);
}

TEST_F(LineStep, NewLogThatCannotBeCreatedEndsTheProgram) {
    const std::pair<std::string, std::string> cases[] = {
        {line_log, "Error: can't write line logfile"},
        {tones_log, "Error: can't write tones logfile"},
    };
    for (const auto& [log, message] : cases) {
        recorded.boxes.clear();
        ASSERT_TRUE(std::filesystem::create_directory(log));
        EXPECT_EQ(write_line_logs(showtime_record()), LogStep::program_ends) << log;
        EXPECT_EQ(recorded.boxes, (std::vector<RecordedBox>{{"KelvaStats", message, 0}}));
        std::filesystem::remove(log);
    }
}

TEST_F(LineStep, CrcChangeIsZeroFirstAfterAFallAndWhenACountIsAbsent) {
    struct Step {
        std::optional<std::uint64_t> crc_down;
        std::int32_t delta;
        bool alarm;
    };
    const Step steps[] = {
        {500, 0, false},  // the first record
        {505, 5, false},  // at the threshold: no alarm
        {520, 15, true},  // past it
        {12, 0, false},   // the count fell: a retrain
        {std::nullopt, 0, false},
        {40, 0, false},                     // the previous count was absent
        {5'000'000'060, 2147483647, true},  // more than the setting holds
    };
    settings.alarm_threshold = 5;
    LineRecord r = showtime_record();
    for (const Step& step : steps) {
        recorded.tones.clear();
        r.crc.down = step.crc_down;
        collect(r);
        EXPECT_EQ(settings.delta_crc, step.delta) << step.crc_down.value_or(0);
        EXPECT_EQ(!recorded.tones.empty(), step.alarm) << step.crc_down.value_or(0);
    }
    EXPECT_EQ(recorded.statuses.back().substr(recorded.statuses.back().rfind("   ")),
              "   DeltaCRC: 5000000020");
}

}  // namespace
