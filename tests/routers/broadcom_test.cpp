// The broadcom readers on replies laid out as the devices print them (tests/data/broadcom).
#include "routers/broadcom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string fixture(const std::string& name) {
    std::ifstream file(std::string(KELVA_TEST_DATA_DIR) + "/broadcom/" + name, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    EXPECT_FALSE(text.str().empty()) << name;
    return text.str();
}

// The same reply with each LF made CR LF, or each CR LF made LF.
std::string with_line_ends(const std::string& reply, bool crlf) {
    std::string out;
    for (const char c : reply) {
        if (c == '\r') continue;
        if (c == '\n' && crlf) out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

template <typename Value>
std::string pair_text(const PerDirection<std::optional<Value>>& p) {
    const auto one = [](const std::optional<Value>& v) { return v ? std::to_string(*v) : "-"; };
    return one(p.down) + "/" + one(p.up);
}

// The record's line fields in one text, down before up, "-" for a figure that is not there.
std::string summary(const LineRecord& r) {
    return r.state + "|" + r.mode + "|" + r.profile + "|rate " + pair_text(r.rate) + " max " +
           pair_text(r.attainable) + "|snr " + r.snr_margin.down + "/" + r.snr_margin.up +
           " attn " + r.attenuation.down + "/" + r.attenuation.up + " pwr " + r.power.down + "/" +
           r.power.up + "|fec " + pair_text(r.fec) + " crc " + pair_text(r.crc) + " es " +
           pair_text(r.es) + " ses " + pair_text(r.ses) + " uas " + pair_text(r.uas) + " hec " +
           pair_text(r.hec);
}

std::string stats_summary(const std::string& reply) {
    LineRecord record;
    read_broadcom_stats(reply, record);
    return summary(record);
}

// The counters are those of the "Since Link" block, which differs from "Total" in each reply
// (UAS; CRC in the D-Link one). The distinct-figures reply gives every figure its own number and
// puts the second bearer's rate and HEC rows before the first's.
TEST(ReadBroadcomStats, PublishedRepliesGiveEachFigureFromItsRowAndColumn) {
    const std::pair<const char*, const char*> cases[] = {
        {"xdslctl_stats_vdsl2_17a_dsl_g225.txt",
         "Showtime|VDSL2 Annex B|17a|rate 31829/5517 max 33960/5517|snr 6.9/4.9 attn 31.0/0.0 "
         "pwr 14.5/6.3|fec 1253366/20211 crc 0/0 es 0/0 ses 0/0 uas 0/0 hec 0/0"},
        {"xdslcmd_stats_vdsl2_17a_hg612_crlf.txt",
         "Showtime|VDSL2 Annex B|17a|rate 69441/20000 max 68180/26419|snr 5.1/9.8 attn 13.6/0.0 "
         "pwr 12.9/3.4|fec 1045793/0 crc 492/1238 es 123/546 ses 1/0 uas 0/0 hec 0/0"},
        {"xdslctl_stats_adsl2plus_annex_a.txt",
         "Showtime|ADSL2+ Annex A||rate 13576/560 max 15281/560|snr 8.6/5.4 attn 22.0/42.1 "
         "pwr 18.8/12.3|fec 3315/41 crc 57/4 es 52/4 ses 0/0 uas 0/0 hec 38/2"},
        {"adsl_stats_gdmt_channel_fast_dlink.txt",
         "Showtime|G.DMT||rate 1024/320 max 8256/564|snr 35.8/18.0 attn 2.0/4.5 pwr 6.4/12.0"
         "|fec 0/0 crc 0/0 es 0/0 ses 0/0 uas 0/0 hec 0/0"},
        {"adsl_show_gdmt_status_line_rate_rp614.txt",
         "Showtime|G.DMT||rate 8128/864 max 11264/1136|snr 22.2/12.0 attn 0.0/1.5 pwr 7.7/11.9"
         "|fec -/- crc -/- es -/- ses -/- uas -/- hec 0/0"},
        {"xdslctl_stats_idle.txt",
         "Idle|||rate -/- max -/-|snr / attn / pwr /|fec 0/0 crc 0/0 es 0/0 ses 0/0 uas 328/328 "
         "hec -/-"},
        {"xdslctl_stats_vdsl2_distinct_figures.txt",
         "Showtime|VDSL2 Annex B|17a|rate 20001/20002 max 10001/10002|snr 3.1/3.2 attn 4.1/4.2 "
         "pwr 5.1/-5.2|fec 1601/1602 crc 1611/1612 es 1621/1622 ses 1631/1632 uas 1641/1642 "
         "hec 71/72"},
    };
    EXPECT_NE(fixture(cases[1].first).find("\r\n"), std::string::npos) << "the CRs were lost";
    for (const auto& [file, expected] : cases) {
        for (const bool crlf : {false, true}) {
            SCOPED_TRACE(std::string(file) + (crlf ? " with CR LF" : " with LF"));
            EXPECT_EQ(stats_summary(with_line_ends(fixture(file), crlf)), expected);
        }
    }
}

// The distinct-figures reply up to the end of `marker`.
std::string distinct_up_to(const std::string& marker) {
    const std::string reply = fixture("xdslctl_stats_vdsl2_distinct_figures.txt");
    const std::size_t at = reply.find(marker);
    EXPECT_NE(at, std::string::npos) << marker;
    return reply.substr(0, at + marker.size());
}

TEST(ReadBroadcomStats, CutReplyLeavesLaterFieldsEmpty) {
    // Cut inside the Since Link block's ES row: not the total's ES, nor the cut row's "16".
    EXPECT_EQ(stats_summary(distinct_up_to("CRC:\t\t1611\t\t1612\nES:\t\t16")),
              "Showtime|VDSL2 Annex B|17a|rate 20001/20002 max 10001/10002|snr 3.1/3.2 attn "
              "4.1/4.2 pwr 5.1/-5.2|fec 1601/1602 crc 1611/1612 es -/- ses -/- uas -/- hec 71/72");
    EXPECT_EQ(stats_summary(distinct_up_to("Attn(dB):\t 4")),
              "Showtime|VDSL2 Annex B|17a|rate 20001/20002 max 10001/10002|snr 3.1/3.2 attn / "
              "pwr /|fec -/- crc -/- es -/- ses -/- uas -/- hec -/-");
}

TEST(ReadBroadcomStats, TotalBlockCountsWhenTheReplyHasNoSinceLinkBlock) {
    // Not the counts of the "Since Previous Link" block just before the cut.
    LineRecord record;
    read_broadcom_stats(distinct_up_to("LOM:\t\t1771\t\t1772\n"), record);
    EXPECT_EQ(pair_text(record.fec) + " " + pair_text(record.uas), "1101/1102 1141/1142");
}

TEST(ReadBroadcomStats, RateIsTakenOnlyFromTheDataPathInKbps) {
    const std::pair<const char*, const char*> cases[] = {
        {"Bearer:\t0, Upstream rate = 1020 Kbps, Downstream rate = 11182 Kbps", "11182/1020"},
        {"Path:\t0, Upstream rate = 9113 Kbps, Downstream rate = 39997 Kbps", "39997/9113"},
        {"Channel: INTR, Upstream rate = 448 Kbps, Downstream rate = 8000 Kbps", "8000/448"},
        {"Status: Showtime  Channel: FAST, Upstream rate = 864 Kbps, Downstream rate = 8128 Kbps",
         "8128/864"},
        {"Bearer: 0, Downstream rate = 7 Kbps, Upstream rate = 3 Kbps", "7/3"},
        {"Bearer: 1, Upstream rate = 5 Kbps, Downstream rate = 9 Kbps", "-/-"},
        {"Bearer: 0, Upstream rate = 5 Mbps, Downstream rate = 7 Kbps", "7/-"},
    };
    for (const auto& [line, expected] : cases) {
        LineRecord record;
        read_broadcom_stats(std::string(line) + "\r\n", record);
        EXPECT_EQ(pair_text(record.rate), expected) << line;
    }
}

TEST(ReadBroadcomStats, OldFirmwareEqualsSignBlocksGiveTheirOneColumn) {
    LineRecord record;
    read_broadcom_stats(
        "adslctl: ADSL driver and PHY status\nStatus: Showtime\n"
        "Total time = 1 days 1 hours 35 min 10 sec\nSF      = 5434538\nCRC     = 17\n"
        "LOS     = 0\nES      = 9\nLatest 15 minutes time = 5 min 10 sec\nCRC     = 2\n",
        record);
    // A superframe count is no FEC count.
    EXPECT_EQ(pair_text(record.crc) + " " + pair_text(record.es) + " " + pair_text(record.fec),
              "17/- 9/- -/-");
}

TEST(ReadBroadcomStats, ProfileIsKeptForVdslOnlyAndReadsBroadcomsName) {
    LineRecord vdsl;
    read_broadcom_stats("Mode:\t\t\tVDSL2 Annex B\nVDSL2 Profile:\t\tProfile BrcmPriv1\n", vdsl);
    EXPECT_EQ(vdsl.profile, "35b");
    LineRecord adsl;
    read_broadcom_stats("Mode:\t\t\tADSL2+ Annex A\nVDSL2 Profile:\t\tProfile 17a\n", adsl);
    EXPECT_EQ(adsl.profile, "");
}

TEST(ReadBroadcomStats, ReadersLeaveWhatTheirReplyDoesNotHold) {
    LineRecord record;
    record.bits = {1, 2, 3};
    record.snr = {4.5};
    record.rate.down = 777;
    const std::string idle = fixture("xdslctl_stats_idle.txt");
    read_broadcom_stats(idle, record);
    read_broadcom_bits(idle, record);
    read_broadcom_snr(idle, record);
    EXPECT_EQ(record.bits, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(record.snr, (std::vector<double>{4.5}));
    EXPECT_EQ(record.rate.down, 777);
}

const std::string bits_heading = "Tone number      Bit Allocation";
const std::string snr_heading = "Tone number      SNR";

// A tone table as xdslctl prints it: the status lines, the heading, then "   n\t\tvalue" a line.
std::string tone_reply(const std::string& heading, int tones, bool crlf) {
    std::string reply =
        "xdslctl: ADSL driver and PHY status\nStatus: Showtime\nLast Retrain Reason:\t0\n"
        "Bearer:\t0, Upstream rate = 20000 Kbps, Downstream rate = 69441 Kbps\n\n" +
        heading + "\n";
    for (int tone = 0; tone < tones; ++tone) {
        reply += "   " + std::to_string(tone) + "\t\t" + std::to_string(tone * 7 % 16);
        reply += heading == snr_heading ? ".2500\n" : "\n";
    }
    return with_line_ends(reply, crlf);
}

TEST(ReadBroadcomBits, CutOrGappedTableKeepsOnlyTheTonesBeforeTheCut) {
    const std::string full = tone_reply(bits_heading, 512, false);
    const auto replaced = [&full](const std::string& line, const std::string& by) {
        return std::string(full).replace(full.find(line), line.size(), by);
    };
    const std::pair<std::string, std::size_t> cases[] = {
        {full, 512},
        {tone_reply(bits_heading, 4096, true), 4096},
        {full.substr(0, full.find("   300\t\t") + 7), 300},  // cut inside a line
        {replaced("   100\t\t12\n", ""), 100},               // a tone missing in between
        {replaced("   7\t\t1\n", "   7\t\t\n"), 7},          // a tone without a value
        {replaced("   9\t\t15\n", "   9\t\t-\n"), 9},        // a value that is no number
        {full.substr(0, full.find(bits_heading) + 32), 0},   // the heading only
        {tone_reply(snr_heading, 512, false), 0},            // another table
    };
    for (const auto& [reply, tones] : cases) {
        SCOPED_TRACE(tones);
        LineRecord record;
        read_broadcom_bits(reply, record);
        ASSERT_EQ(record.bits.size(), tones);
        for (std::size_t tone = 0; tone < tones; ++tone)
            ASSERT_EQ(record.bits[tone], tone * 7 % 16);
    }
}

TEST(ReadBroadcomSnr, ToneWithoutAValueIsNanAndAGapEndsTheTable) {
    LineRecord record;
    read_broadcom_snr(snr_heading +
                          "\r\n   0\t\t0.0000\r\n   1\t\t42.5625\r\n   2\t\t\r\n   3\t\t-3.2500\r\n"
                          "   4\t\tN/A\r\n   5\t\t7.5\r\n   7\t\t9.0\r\n",
                      record);
    ASSERT_EQ(record.snr.size(), 6u);
    EXPECT_EQ(record.snr[1], 42.5625);
    EXPECT_TRUE(std::isnan(record.snr[2]));
    EXPECT_EQ(record.snr[3], -3.25);
    EXPECT_TRUE(std::isnan(record.snr[4]));
    EXPECT_EQ(record.snr[5], 7.5);
    read_broadcom_snr(tone_reply(snr_heading, 4096, true), record);
    ASSERT_EQ(record.snr.size(), 4096u);
    EXPECT_EQ(record.snr[4095], 4095 * 7 % 16 + 0.25);
}

}  // namespace
