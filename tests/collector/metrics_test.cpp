// The collector's figures for Prometheus: what the simulated router's replies give, text that
// Prometheus's own checker reads whatever a router prints, and a file replaced whole.
#include "collector/metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "harness/temp_dir.h"
#include "stats/pending_lines.h"
#include "tests/support/file_bytes.h"
#include "tests/support/run_program.h"
#include "tools/router_replies.h"

namespace {

constexpr std::int64_t start_unix = 1796000000;

// promtool's verdict on text: "" when it accepts it without a remark, else what it said.
std::string promtool_remarks(const std::string& text) {
    const TempDir folder("kelva-metrics-");
    const std::string file = folder.path() + "/kelvastats.prom";
    write_file_bytes(file, text);
    const int status = run_program(KELVA_PROMTOOL, "check metrics <" + file, folder.path() + "/out",
                                   folder.path() + "/err");
    const std::string remarks =
        read_file_bytes(folder.path() + "/out") + read_file_bytes(folder.path() + "/err");
    return status == 0 ? remarks : "exit status " + std::to_string(status) + ": " + remarks;
}

bool have_promtool() {
    return !std::string_view(KELVA_PROMTOOL).empty();
}
constexpr std::string_view no_promtool =
    "promtool not found (Debian package prometheus): the text is not checked";

TEST(Metrics, SimulatedRouterGivesItsCountersAndBitsInTextPromtoolAccepts) {
    reset_pending_log_lines();
    LineFigures figures = start_line_figures(start_unix, 60000);
    const std::string status = show_adsl_reply({1234, 567, 8, 9, 10});
    const std::string bins = showbins_reply(3);
    record_cycle(figures, {true, "", status, bins}, start_unix + 60);
    // A cycle without a collection keeps the figures of the latest replies.
    record_cycle(figures, {false, "unreachable", "", ""}, start_unix + 120);
    const std::string text = metrics_text(figures);

    for (const std::string& sample : {
             std::string("kelvastats_crc_errors_total 567\n"),
             std::string("kelvastats_ocd_errors_total 10\n"),
             "kelvastats_line_bit_loading " + std::to_string(showbins_total(3)) + "\n",
             "kelvastats_tone_bit_loading{tone=\"231\"} " + std::to_string(showbins_bits(231, 3)) +
                 "\n",
             std::string("kelvastats_status_value{line=\"8\",label=\"Downstream rate\","
                         "unit=\"kbps\"} 16384\n"),
             std::string("kelvastats_status_value{line=\"28\",label=\"Near End CRC error\"} 567\n"),
             std::string("kelvastats_collections_total 1\n"),
             std::string("kelvastats_missed_cycles_total{reason=\"unreachable\"} 1\n"),
             std::string("kelvastats_missed_cycles_total{reason=\"silent\"} 0\n"),
             std::string("kelvastats_missed_cycles_total{reason=\"refused\"} 0\n"),
             std::string("kelvastats_pending_log_lines{log=\"tones\"} 0\n"),
             std::string("kelvastats_last_cycle_collected 0\n"),
             "kelvastats_last_collection_timestamp_seconds " + std::to_string(start_unix + 60) +
                 "\n",
         }) {
        EXPECT_NE(text.find(sample), std::string::npos) << sample << "not in:\n" << text;
    }
    // Texts that are not one number are no value: the uptime, the modulation, two margins.
    EXPECT_EQ(text.find("label=\"Link uptime\""), std::string::npos);
    EXPECT_EQ(text.find("label=\"Modulation\""), std::string::npos);
    EXPECT_EQ(text.find("label=\"Target/min margin\""), std::string::npos);

    if (!have_promtool()) GTEST_SKIP() << no_promtool;
    EXPECT_EQ(promtool_remarks(text), "");
}

// Every figure a line record holds, with 4096 tones (VDSL2 17a) in both tables.
LineRecord full_record() {
    LineRecord record;
    record.state = "Showtime";
    record.mode = "VDSL2";
    record.profile = "17a";
    record.rate = {79999, 19999};
    record.attainable = {104152, 33472};
    record.snr_margin = {"6.1", "-0.5"};
    record.attenuation = {"12.5", "0"};
    record.power = {"14.5", "-7.1"};
    record.fec = {123456789012, 17};
    record.crc = {4242, 1};
    record.hec = {0, 0};
    record.es = {61, 2};
    record.ses = {3, 0};
    record.uas = {27, 27};
    record.bits.resize(4096);
    record.snr.resize(4096);
    for (std::size_t tone = 0; tone < 4096; ++tone) {
        record.bits[tone] = static_cast<std::uint8_t>(tone % 16);
        record.snr[tone] = tone < 32 ? NAN : 10.5 + static_cast<double>(tone % 40) / 2;
    }
    return record;
}

bool has(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

TEST(Metrics, LineRecordFiguresGetBaseUnitsAndDirectionsAndPromtoolAcceptsFullTables) {
    reset_pending_log_lines();
    LineFigures figures = start_line_figures(start_unix, 60000);
    const LineRecord record = full_record();
    record_cycle(figures, {true, "", "", "", &record}, start_unix + 60);
    record_cycle(figures, {false, "refused", "", ""}, start_unix + 120);
    const std::string text = metrics_text(figures);
    for (const std::string_view sample : {
             "kelvastats_line_showtime 1\n",
             "kelvastats_line_info{state=\"Showtime\",mode=\"VDSL2\",profile=\"17a\"} 1\n",
             "kelvastats_line_sync_rate_bytes_per_second{direction=\"down\"} 9999875\n",
             "kelvastats_line_sync_rate_bytes_per_second{direction=\"up\"} 2499875\n",
             "kelvastats_line_attainable_rate_bytes_per_second{direction=\"up\"} 4184000\n",
             "kelvastats_line_snr_margin_decibels{direction=\"down\"} 6.1\n",
             "kelvastats_line_snr_margin_decibels{direction=\"up\"} -0.5\n",
             "kelvastats_line_attenuation_decibels{direction=\"up\"} 0\n",
             "kelvastats_line_output_power_dbm{direction=\"up\"} -7.1\n",
             "kelvastats_line_fec_errors_total{direction=\"down\"} 123456789012\n",
             "kelvastats_line_crc_errors_total{direction=\"down\"} 4242\n",
             "kelvastats_line_hec_errors_total{direction=\"up\"} 0\n",
             "kelvastats_line_errored_seconds_total{direction=\"down\"} 61\n",
             "kelvastats_line_severely_errored_seconds_total{direction=\"down\"} 3\n",
             "kelvastats_line_unavailable_seconds_total{direction=\"up\"} 27\n",
             "kelvastats_tone_bit_loading{tone=\"4095\"} 15\n",
             "kelvastats_line_bit_loading 30720\n",
             "kelvastats_tone_snr_decibels{tone=\"32\"} 26.5\n",
             "kelvastats_tone_snr_decibels{tone=\"4095\"} 18\n",
             "kelvastats_missed_cycles_total{reason=\"refused\"} 1\n",
             "kelvastats_last_cycle_collected 0\n",
         }) {
        EXPECT_TRUE(has(text, sample)) << sample << "not in the text";
    }
    // A tone without an SNR value has no sample, not a made-up one.
    EXPECT_FALSE(has(text, "kelvastats_tone_snr_decibels{tone=\"31\"}"));

    if (!have_promtool()) GTEST_SKIP() << no_promtool;
    EXPECT_EQ(promtool_remarks(text), "");
}

TEST(Metrics, FiguresALaterRecordLacksVanishAndTablesGoWhenTheLineGoes) {
    LineFigures figures = start_line_figures(start_unix, 60000);
    const LineRecord full = full_record();
    record_cycle(figures, {true, "", "", "", &full}, start_unix + 60);

    // Still up, without tables (Broadcom's SNR comes hourly) and with half its figures; a
    // decibel text that is not plain is no figure either.
    LineRecord partial;
    partial.state = "Showtime";
    partial.rate.down = 80000;
    partial.snr_margin.down = "6,1";
    partial.crc.up = 2;
    record_cycle(figures, {true, "", "", "", &partial}, start_unix + 120);
    std::string text = metrics_text(figures);
    EXPECT_TRUE(
        has(text, "kelvastats_line_sync_rate_bytes_per_second{direction=\"down\"} 10000000\n"));
    EXPECT_FALSE(has(text, "kelvastats_line_sync_rate_bytes_per_second{direction=\"up\"}"));
    EXPECT_TRUE(has(text, "kelvastats_line_crc_errors_total{direction=\"up\"} 2\n"));
    EXPECT_FALSE(has(text, "kelvastats_line_crc_errors_total{direction=\"down\"}"));
    EXPECT_TRUE(has(text, "kelvastats_line_info{state=\"Showtime\"} 1\n"));
    for (const std::string_view gone :
         {"kelvastats_line_snr_margin_decibels", "kelvastats_line_attainable_rate",
          "kelvastats_line_fec_errors_total", "kelvastats_line_output_power_dbm"}) {
        EXPECT_FALSE(has(text, gone)) << gone;
    }
    EXPECT_TRUE(has(text, "kelvastats_tone_bit_loading{tone=\"4095\"} 15\n"));
    EXPECT_TRUE(has(text, "kelvastats_tone_snr_decibels{tone=\"4095\"} 18\n"));

    // The line goes down: its tables go with it; a record without a state says nothing of it.
    LineRecord down;
    down.state = "Idle";
    record_cycle(figures, {true, "", "", "", &down}, start_unix + 180);
    text = metrics_text(figures);
    EXPECT_TRUE(has(text, "kelvastats_line_showtime 0\n"));
    EXPECT_FALSE(has(text, "tone_bit_loading") || has(text, "tone_snr") ||
                 has(text, "kelvastats_line_bit_loading"));
    const LineRecord nothing;
    record_cycle(figures, {true, "", "", "", &nothing}, start_unix + 240);
    text = metrics_text(figures);
    EXPECT_FALSE(has(text, "kelvastats_line_showtime") || has(text, "kelvastats_line_info"));
}

TEST(Metrics, ARecordsBitTableAndAClassicOneShareOneFamilyNeverTwo) {
    LineFigures figures = start_line_figures(start_unix, 60000);
    const LineRecord record = full_record();
    record_cycle(figures, {true, "", "", showbins_reply(3), nullptr}, start_unix + 60);
    record_cycle(figures, {true, "", "", "", &record}, start_unix + 120);
    std::string text = metrics_text(figures);
    EXPECT_TRUE(has(text, "kelvastats_line_bit_loading 30720\n"));
    record_cycle(figures, {true, "", "", showbins_reply(3), nullptr}, start_unix + 180);
    text = metrics_text(figures);
    EXPECT_TRUE(has(text, "kelvastats_line_bit_loading " + std::to_string(showbins_total(3))));
    EXPECT_FALSE(has(text, "kelvastats_tone_bit_loading{tone=\"4095\"}"));
    EXPECT_EQ(text.find("# TYPE kelvastats_tone_bit_loading"),
              text.rfind("# TYPE kelvastats_tone_bit_loading"));
}

TEST(Metrics, ToneSnrTextReadsBackAsTheSameDouble) {
    LineFigures figures = start_line_figures(start_unix, 60000);
    LineRecord record;
    record.snr = {26.5,   -0.5, 0.0625, 33.5625,   0.1 + 0.2, 1e-7,   123456.7, -0.0, 1e12,
                  -12.25, 6.1,  99.99,  1.0 / 3.0, 0.0001,    5e-324, 1e300,    NAN,  INFINITY};
    record_cycle(figures, {true, "", "", "", &record}, start_unix + 60);
    const std::string text = metrics_text(figures);
    for (std::size_t tone = 0; tone < record.snr.size(); ++tone) {
        const std::string sample =
            "kelvastats_tone_snr_decibels{tone=\"" + std::to_string(tone) + "\"} ";
        const std::size_t at = text.find(sample);
        if (!std::isfinite(record.snr[tone])) {
            EXPECT_EQ(at, std::string::npos) << tone;
            continue;
        }
        ASSERT_NE(at, std::string::npos) << tone;
        const std::string number =
            text.substr(at + sample.size(), text.find('\n', at) - at - sample.size());
        EXPECT_EQ(std::strtod(number.c_str(), nullptr), record.snr[tone]) << number;
    }
}

TEST(Metrics, LabelsWithQuotesBackslashesLineFeedsAndBadBytesAreEscaped) {
    EXPECT_EQ(label_value_text("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
    // Stray continuation, overlong "/", surrogate, past U+10FFFF, cut short: each byte becomes
    // U+FFFD; valid sequences of two, three and four bytes stay.
    EXPECT_EQ(label_value_text("\x80|\xC0\xAF|\xED\xA0\x80|\xF4\x90\x80\x80|\xE2\x82"),
              "\uFFFD|\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD");
    EXPECT_EQ(label_value_text("\u00E9\u20AC\U0001F600"), "\u00E9\u20AC\U0001F600");

    // A status reply whose labels hold them all, a CR and two equal labels.
    LineFigures figures = start_line_figures(start_unix, 0);
    const std::string reply =
        "show adsl\r\n"
        " Say \"hi\" =\t\t1\t\r\n"
        " C:\\router\\ =\t\t2\t\r\n"
        " \xFF\xFEwide\xC3 =\t\t3\t dB\r\n"
        " carriage\rreturn =\t\t4\t\r\n"
        " twice =\t\t5\t\r\n"
        " twice =\t\t6\t\r\n";
    record_cycle(figures, {false, "odd \"reason\"\\", reply, ""}, start_unix);
    const std::string text = metrics_text(figures);
    EXPECT_NE(text.find("label=\"Say \\\"hi\\\"\"} 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("label=\"C:\\\\router\\\\\"} 2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("label=\"\uFFFD\uFFFDwide\uFFFD\",unit=\"dB\"} 3\n"), std::string::npos)
        << text;

    if (!have_promtool()) GTEST_SKIP() << no_promtool;
    EXPECT_EQ(promtool_remarks(text), "");
}

TEST(Metrics, OnlyANumberWithAtMostAUnitWordIsAValue) {
    struct Case {
        std::string_view text;
        bool number;
        double value;
        std::string_view unit;
    };
    const Case cases[] = {
        {"16384 kbps", true, 16384, "kbps"},
        {"-6.5", true, -6.5, ""},
        {" 6.1 dB", true, 6.1, "dB"},
        {"+7 %", true, 7, "%"},
        {"12kbit/s", true, 12, "kbit/s"},
        {"3 days 04:17:52", false, 0, ""},
        {"G.992.5 Annex A", false, 0, ""},
        {"6dB,3dB", false, 0, ""},
        {"", false, 0, ""},
        {"-", false, 0, ""},
        {".5", false, 0, ""},
        {"1e5", false, 0, ""},
    };
    for (const Case& c : cases) {
        double value = 0;
        std::string unit;
        ASSERT_EQ(status_number(c.text, value, unit), c.number) << c.text;
        if (!c.number) continue;
        EXPECT_EQ(value, c.value) << c.text;
        EXPECT_EQ(unit, c.unit) << c.text;
    }
}

TEST(Metrics, FileIsReplacedWholeAndNoTemporaryStays) {
    const TempDir folder("kelva-metrics-");
    const std::string file = folder.path() + "/kelvastats.prom";
    ASSERT_EQ(write_metrics_file(file, "first 1\n"), 0);
    ASSERT_EQ(write_metrics_file(file, "second 2\n"), 0);
    EXPECT_EQ(read_file_bytes(file), "second 2\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
    // A folder that does not exist: -1, and nothing appears.
    EXPECT_EQ(write_metrics_file(folder.path() + "/missing/kelvastats.prom", "x 1\n"), -1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

}  // namespace
