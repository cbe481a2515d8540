// The draytek readers on replies laid out as the devices print them.
#include "routers/draytek.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string fixture(const std::string& name) {
    std::ifstream in(std::string(KELVA_TEST_DATA_DIR) + "/draytek/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct StatusCase {
    const char* file;
    std::string state, mode, profile;
    RateKbits rate_down, rate_up, attainable_down, attainable_up;
    std::string attenuation_down, attenuation_up, margin_down, margin_up;
    RunningCount crc_down, crc_up, es_down, es_up;
};

TEST(DraytekStatus, ReadsEachFigureFromItsOwnColumn) {
    const StatusCase cases[] = {
        {"status_vigor130_17a_crlf.txt", "SHOWTIME", "VDSL2", "17a", 32397, 17000, 41041, 21214,
         "11", "13", "12", "8", 0, 63281, 0, 7557},
        {"status_vigor130_tabs.txt", "SHOWTIME", "VDSL2", "17a", 26435, 4268, 23652, 4232, "27",
         "34", "3", "5", 0, 115788, 0, 35291},
        {"status_adsl2plus_crlf.txt", "SHOWTIME", "ADSL2+(G.992.5)", "", 15690, 946, 15740, 945,
         "13", "7", "12", "14", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {"status_training_crlf.txt", "TRAINING", "", "", 0, 0, 0, 0, "0", "0", "0", "0", 0, 0, 0,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        LineRecord record;
        read_draytek_status(fixture(c.file), record);
        EXPECT_EQ(record.state, c.state);
        EXPECT_EQ(record.mode, c.mode);
        EXPECT_EQ(record.profile, c.profile);
        EXPECT_EQ(record.rate.down, c.rate_down);
        EXPECT_EQ(record.rate.up, c.rate_up);
        EXPECT_EQ(record.attainable.down, c.attainable_down);
        EXPECT_EQ(record.attainable.up, c.attainable_up);
        EXPECT_EQ(record.attenuation.down, c.attenuation_down);
        EXPECT_EQ(record.attenuation.up, c.attenuation_up);
        EXPECT_EQ(record.snr_margin.down, c.margin_down);
        EXPECT_EQ(record.snr_margin.up, c.margin_up);
        EXPECT_EQ(record.crc.down, c.crc_down);
        EXPECT_EQ(record.crc.up, c.crc_up);
        EXPECT_EQ(record.es.down, c.es_down);
        EXPECT_EQ(record.es.up, c.es_up);
        // The console gives no output power: "actual PSD" is a spectral density, not dBm.
        EXPECT_EQ(record.power.down, "");
        EXPECT_EQ(record.power.up, "");
        EXPECT_EQ(line_in_showtime(record), c.state == "SHOWTIME");
    }
}

TEST(DraytekStatus, CutReplyLeavesLaterFieldsEmpty) {
    const std::string whole = fixture("status_vigor130_17a_crlf.txt");
    // Cut inside the attenuation line, before its label is whole.
    const std::string cut = whole.substr(0, whole.find("NE Current Atten") + 8);
    LineRecord record;
    read_draytek_status(cut, record);
    EXPECT_EQ(record.state, "SHOWTIME");
    EXPECT_EQ(record.attainable.up, 21214);
    EXPECT_EQ(record.attenuation.down, "");
    EXPECT_EQ(record.snr_margin.down, "");
    EXPECT_EQ(record.attenuation.up, "");
    EXPECT_EQ(record.snr_margin.up, "");
    EXPECT_EQ(record.crc.up, std::nullopt);
}

struct ValueCase {
    const char* line;
    std::string margin_down;  // from "Cur SNR Margin"
    RateKbits rate_down;      // from "DS Actual Rate"
    std::string state;
    std::string mode;
};

TEST(DraytekStatus, ValueQuirksReadAsTheNumberMeant) {
    const ValueCase cases[] = {
        // The console prints tenths with a blank after the point, and a value below zero with
        // its sign after the point.
        {"Cur SNR Margin : 0. 6 dB", "0.6", {}, "", ""},
        {"Cur SNR Margin : 0.-5 dB", "-0.5", {}, "", ""},
        {"Cur SNR Margin : -1.-5 dB", "-1.5", {}, "", ""},
        {"Cur SNR Margin :\t12\tdB", "12", {}, "", ""},
        {"Cur SNR Margin : N/A", "", {}, "", ""},
        // Rates in bit/s become kbit/s, rounded to the nearest.
        {"DS Actual Rate : 499 bps", "", 0, "", ""},
        {"DS Actual Rate : 500 bps", "", 1, "", ""},
        {"DS Actual Rate : 68094000 bps   US Actual Rate : 19999000 bps", "", 68094, "", ""},
        {"DS Actual Rate : 68094 kbps", "", 68094, "", ""},
        {"DS Actual Rate : 68.1 Mbps", "", {}, "", ""},
        {"DS Actual Rate : 99999999999999999999999 bps", "", {}, "", ""},
        // An empty left value is not the right-hand label that follows it.
        {"  Running Mode            :                  State   : IDLE", "", {}, "IDLE", ""},
        {"Running Mode : State : IDLE", "", {}, "IDLE", ""},
        {"Running Mode : 35B State : SHOWTIME", "", {}, "SHOWTIME", "VDSL2"},
        {"State : SHOWTIME \r\n", "", {}, "SHOWTIME", ""},
        {"DSL Modulation : VDSL2 17A", "", {}, "", "VDSL2"},
        // Labels are matched whole: these are other rows.
        {"Cur SNR Margin2 : 7 dB", "", {}, "", ""},
        {"Far SNR Margin : 7 dB", "", {}, "", ""},
        {"XDS Actual Rate : 7000 bps", "", {}, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        LineRecord record;
        read_draytek_status(c.line, record);
        EXPECT_EQ(record.snr_margin.down, c.margin_down);
        EXPECT_EQ(record.rate.down, c.rate_down);
        EXPECT_EQ(record.state, c.state);
        EXPECT_EQ(record.mode, c.mode);
    }
}

TEST(DraytekStatus, ReplyWithoutAFieldLeavesItAsItWas) {
    LineRecord record;
    record.rate.down = 1234;
    record.snr_margin.up = "9.9";
    read_draytek_status("  State : IDLE\r\n  Far SNR Margin : --\r\n", record);
    EXPECT_EQ(record.state, "IDLE");
    EXPECT_EQ(record.rate.down, 1234);
    EXPECT_EQ(record.snr_margin.up, "9.9");
}

struct CounterCase {
    const char* file;
    RunningCount fec[2], crc[2], hec[2], es[2], ses[2], uas[2];  // {down, up}
};

TEST(DraytekStatusMore, NearEndIsDownFarEndIsUp) {
    const CounterCase cases[] = {
        {"status_more_vigor130_crlf.txt",
         {0, 0},
         {0, 115788},
         {0, 0},
         {0, 35291},
         {0, 480},
         {27, 43147}},
        {"status_more_tabs.txt", {4461392, 1275}, {906, 88}, {17, 5}, {41, 7}, {3, 1}, {118, 96}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        LineRecord record;
        read_draytek_status_more(fixture(c.file), record);
        EXPECT_EQ(record.fec.down, c.fec[0]);
        EXPECT_EQ(record.fec.up, c.fec[1]);
        EXPECT_EQ(record.crc.down, c.crc[0]);
        EXPECT_EQ(record.crc.up, c.crc[1]);
        EXPECT_EQ(record.hec.down, c.hec[0]);
        EXPECT_EQ(record.hec.up, c.hec[1]);
        EXPECT_EQ(record.es.down, c.es[0]);
        EXPECT_EQ(record.es.up, c.es[1]);
        EXPECT_EQ(record.ses.down, c.ses[0]);
        EXPECT_EQ(record.ses.up, c.ses[1]);
        EXPECT_EQ(record.uas.down, c.uas[0]);
        EXPECT_EQ(record.uas.up, c.uas[1]);
        EXPECT_EQ(record.rate.down, std::nullopt);
    }
}

TEST(DraytekStatusMore, CellsStayInTheirColumns) {
    LineRecord record;
    read_draytek_status_more(
        "   Far End   Near End\n"  // a heading with the columns the other way round
        "  ES   :   7   41 (seconds)\n"
        "  CRC  :   -   906\n"  // a cell with no count still takes its column
        "  UAS  :   96\n"       // a row cut after its first cell
        "  SES",                // a cut row
        record);
    EXPECT_EQ(record.es.down, 41);
    EXPECT_EQ(record.es.up, 7);
    EXPECT_EQ(record.crc.down, 906);
    EXPECT_EQ(record.crc.up, std::nullopt);
    EXPECT_EQ(record.uas.down, std::nullopt);
    EXPECT_EQ(record.uas.up, 96);
    EXPECT_EQ(record.ses.down, std::nullopt);
    EXPECT_EQ(record.ses.up, std::nullopt);
}

TEST(DraytekShowbins, EachTonesBitsAndSnrFromItsOwnGroup) {
    LineRecord record;
    read_draytek_showbins(fixture("showbins_vigor_crlf.txt"), record);
    ASSERT_EQ(record.bits.size(), 72u);
    ASSERT_EQ(record.snr.size(), 72u);
    // Downstream groups: the gain column (-19, 15) lies between SNR and bits.
    EXPECT_EQ(record.bits[33], 9);
    EXPECT_EQ(record.snr[33], 57);
    EXPECT_EQ(record.bits[39], 11);
    EXPECT_EQ(record.snr[39], 59);
    EXPECT_EQ(record.bits[71], 14);
    EXPECT_EQ(record.snr[71], 54);
    // Tones the downstream table shows without bits take the upstream section's group.
    EXPECT_EQ(record.bits[8], 2);
    EXPECT_EQ(record.snr[8], 38);
    EXPECT_EQ(record.bits[15], 5);
    EXPECT_EQ(record.snr[15], 45);
    // Unloaded in both: the first table's figures.
    EXPECT_EQ(record.bits[5], 0);
    EXPECT_EQ(record.snr[5], 47);
    EXPECT_EQ(record.bits[16], 0);
    EXPECT_EQ(record.snr[16], 0);
}

TEST(DraytekShowbins, LayoutFollowsTheHeading) {
    LineRecord record;
    read_draytek_showbins(
        "Tone  SNR  Bits   Tone  SNR  Bits\n"  // no gain column and no "*" between groups
        "      .1dB             .1dB\n"
        "   0  123    4       1  200   15\n"
        "   3   88    2     9999   50    3\n"  // a tone past any line's last
        "   5  junk   6       6   70   16\n",  // no SNR; more bits than a tone holds
        record);
    ASSERT_EQ(record.bits.size(), 6u);
    EXPECT_EQ(record.bits[0], 4);
    EXPECT_DOUBLE_EQ(record.snr[0], 12.3);
    EXPECT_EQ(record.bits[1], 15);
    EXPECT_DOUBLE_EQ(record.snr[1], 20.0);
    EXPECT_TRUE(std::isnan(record.snr[2]));  // not listed
    EXPECT_EQ(record.bits[2], 0);
    EXPECT_EQ(record.bits[3], 2);
    EXPECT_EQ(record.bits[5], 6);
    EXPECT_TRUE(std::isnan(record.snr[5]));
}

TEST(DraytekShowbins, ReplyWithoutTableLeavesTonesEmpty) {
    LineRecord record;
    read_draytek_showbins("DOWNSTREAM :\r\n% Line is not in showtime\r\n", record);
    EXPECT_TRUE(record.bits.empty());
    EXPECT_TRUE(record.snr.empty());
}

std::string full_table(int tones) {
    std::string reply =
        "DOWNSTREAM :\r\n"
        " Bin   SNR  Gain Bi -  Bin   SNR  Gain Bi -  Bin   SNR  Gain Bi -  Bin   SNR  Gain Bi\r\n"
        "       dB  .1dB ts           dB  .1dB ts           dB  .1dB ts           dB  .1dB ts\r\n"
        "--- ----- ---- -- - --- ----- ---- -- - --- ----- ---- -- - --- ----- ---- --\r\n";
    char group[32];
    for (int tone = 0; tone < tones; ++tone) {
        std::snprintf(group, sizeof group, "%4d %5d %4d %2d", tone, 20 + tone % 40,
                      tone % 3 == 0 ? -19 : 15, tone % 16);
        reply += group;
        reply += tone % 4 == 3 ? "\r\n" : " *";
    }
    return reply;
}

TEST(DraytekShowbins, FullVdslTableFillsEveryToneFromItsGroup) {
    LineRecord record;
    read_draytek_showbins(full_table(4096), record);
    ASSERT_EQ(record.bits.size(), 4096u);
    ASSERT_EQ(record.snr.size(), 4096u);
    for (const int tone : {0, 1, 2, 3, 4, 1023, 4093, 4095}) {
        EXPECT_EQ(record.bits[tone], tone % 16) << tone;
        EXPECT_EQ(record.snr[tone], 20 + tone % 40) << tone;
    }
}

}  // namespace
