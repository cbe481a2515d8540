// The vdsl replies of the simulated DrayTek router, after the published output of Vigor 130 and
// 165 modems: "label : value" in padded columns, "Near End" and "Far End" counter columns, and
// the firmware's habit of printing a tenth after a blank ("0. 6 dB").
#include "tools/draytek_replies.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::string_view line_end = "\r\n";
constexpr std::string_view rule =
    "  ------------------------------------------------------------------------";

std::string padded(std::string_view text, std::size_t width) {
    std::string out(text);
    if (out.size() < width) out.append(width - out.size(), ' ');
    return out;
}

std::string right_aligned(std::string_view text, std::size_t width) {
    std::string out;
    if (text.size() < width) out.append(width - text.size(), ' ');
    out += text;
    return out;
}

// One line of two "label : value" pairs in the console's columns.
void add_pairs(std::string& text, std::string_view left_label, std::string_view left_value,
               std::string_view right_label, std::string_view right_value) {
    text += "   ";
    text += padded(left_label, 24);
    text += ": ";
    text += padded(left_value, 15);
    text += padded(right_label, 21);
    text += ": ";
    text += right_value;
    text += line_end;
}

void add_pair(std::string& text, std::string_view label, std::string_view value) {
    text += "   ";
    text += padded(label, 24);
    text += ": ";
    text += value;
    text += line_end;
}

std::string number(std::int64_t value, std::size_t width = 8) {
    return right_aligned(std::to_string(value), width);
}

std::string whole_db(std::int32_t tenths) {
    return number(tenths / 10);
}

// The firmware prints the whole part and the tenth with "%d.%2d": 13.1 dB is "13. 1".
std::string spaced_tenths(std::int32_t tenths) {
    char text[32];
    std::snprintf(text, sizeof text, "%5d.%2d", static_cast<int>(tenths / 10),
                  static_cast<int>(tenths % 10));
    return text;
}

// " FECS         :      0            2575 (seconds)"
void add_counter(std::string& text, std::string_view label, std::string_view near_end,
                 std::string_view far_end, std::string_view note = {}) {
    text += " ";
    text += padded(label, 12);
    text += " :";
    text += right_aligned(near_end, 7);
    text += right_aligned(far_end, 16);
    if (!note.empty()) {
        text += " ";
        text += note;
    }
    text += line_end;
}

void add_count(std::string& text, std::string_view label, const DownUp<std::uint64_t>& count,
               std::string_view note = {}) {
    add_counter(text, label, std::to_string(count.down), std::to_string(count.up), note);
}

}  // namespace

std::string_view draytek_mode_text(LineKind kind) {
    return kind == LineKind::vdsl17a ? "17A" : "ADSL2+";
}

std::string draytek_status_reply(const LineCollection& line) {
    const bool up = line.showtime;
    const std::string_view mode = up ? draytek_mode_text(line.kind) : "";
    const auto bps = [](std::int32_t kbps) { return number(std::int64_t{kbps} * 1000) + " bps"; };
    std::string text;
    text += "  ---------------------- ATU-R Info (hw: annex A, f/w: annex A/B/C) -----------";
    text += line_end;
    add_pairs(text, "Running Mode", right_aligned(mode, 8), "State", up ? "SHOWTIME" : "TRAINING");
    add_pairs(text, "DS Actual Rate", bps(line.rate_kbps.down), "US Actual Rate",
              bps(line.rate_kbps.up));
    add_pairs(text, "DS Attainable Rate", bps(line.attainable_kbps.down), "US Attainable Rate",
              bps(line.attainable_kbps.up));
    add_pairs(text, "DS Path Mode", right_aligned(up ? "Interleave" : "", 10), "US Path Mode",
              right_aligned(up ? "Fast" : "", 10));
    add_pairs(text, "DS Interleave Depth", number(up ? 8 : 0), "US Interleave Depth",
              number(up ? 1 : 0));
    add_pairs(text, "NE Current Attenuation", whole_db(line.attenuation_tenths.down) + " dB",
              "Cur SNR Margin", whole_db(line.snr_margin_tenths.down) + "  dB");
    add_pairs(text, "DS actual PSD", spaced_tenths(line.power_tenths.down) + " dB", "US actual PSD",
              spaced_tenths(line.power_tenths.up) + "  dB");
    const auto count = [](std::uint64_t value) { return number(static_cast<std::int64_t>(value)); };
    add_pairs(text, "NE CRC Count", count(line.counts.crc.down), "FE CRC Count",
              count(line.counts.crc.up));
    add_pairs(text, "NE ES Count", count(line.counts.es.down), "FE  ES Count",
              count(line.counts.es.up));
    add_pairs(text, "Xdsl Reset Times", number(0), "Xdsl Link  Times",
              number(up ? line.train + 1 : 0));
    add_pairs(text, "ITU Version[0]", "fe000000", "ITU Version[1]", "00000000");
    add_pair(text, "VDSL Firmware Version", "05-04-08-00-00-06   [with Vectoring support] ");
    add_pair(text, "Power Management Mode", up ? "DSL_G997_PMS_L0 " : "DSL_G997_PMS_L3 ");
    add_pair(text, "Test Mode", "DISABLE ");
    text += rule;
    text += line_end;
    text += "  ---------------------- ATU-C Info ---------------------------------------";
    text += line_end;
    add_pairs(text, "Far Current Attenuation", whole_db(line.attenuation_tenths.up) + " dB",
              "Far SNR Margin", whole_db(line.snr_margin_tenths.up) + "  dB");
    add_pairs(text, "CO ITU Version[0]", "b5004244", "CO ITU Version[1]", "434da48b");
    add_pair(text, "DSLAM CHIPSET VENDOR", "< BDCM >");
    text += rule;
    text += line_end;
    return text;
}

std::string draytek_status_more_reply(const LineCollection& line) {
    const LineCounts& c = line.counts;
    const auto flag = [&line](bool on) { return std::string(on && line.showtime ? "1" : "0"); };
    // Seconds with a repaired block: never more than the seconds the line has been up.
    const auto corrected_seconds = [&line](std::uint64_t fec) {
        return std::min<std::uint64_t>(fec / 40, static_cast<std::uint64_t>(line.link_seconds));
    };
    std::string text;
    text += "  ---------------------- ATU-R Info (hw: annex A, f/w: annex A/B/C) -----------";
    text += line_end;
    text += "                  Near End        Far End    Note";
    text += line_end;
    add_counter(text, "Trellis", flag(true), flag(true));
    add_counter(text, "Bitswap", flag(true), flag(true));
    add_counter(text, "ReTxEnable", flag(true), flag(true));
    for (const char* zero : {"VirtualNoise", "20BitSupport", "LatencyPath", "LOS", "LOF", "LPR",
                             "LOM", "SosSuccess", "NCD", "LCD"}) {
        add_counter(text, zero, "0", "0");
    }
    add_counter(text, "FECS", std::to_string(corrected_seconds(c.fec.down)),
                std::to_string(corrected_seconds(c.fec.up)), "(seconds)");
    add_count(text, "ES", c.es, "(seconds)");
    add_count(text, "SES", c.ses, "(seconds)");
    add_counter(text, "LOSS", "0", "0", "(seconds)");
    add_count(text, "UAS", c.uas, "(seconds)");
    add_count(text, "HECError", c.hec);
    add_count(text, "CRC", c.crc);
    add_count(text, "RsCorrection", c.fec);
    add_counter(text, "INP", line.showtime ? "230" : "0", line.showtime ? "160" : "0", "(symbols)");
    add_counter(text, "InterleaveDelay", "0", line.showtime ? "62" : "0", "(1/100 ms)");
    add_counter(text, "NFEC", "32", "32");
    add_counter(text, "RFEC", "16", "16");
    add_counter(text, "LSYMB", "16", "16");
    add_counter(text, "INTLVBLOCK", "32", "32");
    add_counter(text, "AELEM", "0", "----");
    return text;
}

std::string draytek_showbins_reply(const LineCollection& line) {
    constexpr int cells_per_line = 4;
    const std::vector<std::uint8_t> bits = downstream_bits(line);
    // A line that is down has no table: the heading alone.
    const std::size_t tones = line.showtime ? static_cast<std::size_t>(tone_count(line.kind)) : 0;
    std::string text = " DOWNSTREAM :";
    text += line_end;
    for (int cell = 0; cell < cells_per_line; ++cell) {
        text += cell > 0 ? " *  Tone  SNR  Gain Bits" : "  Tone  SNR  Gain Bits";
    }
    text += line_end;
    text.reserve(text.size() + tones * 26);
    for (std::size_t tone = 0; tone < tones; ++tone) {
        const int loaded = tone < bits.size() ? bits[tone] : 0;
        const int snr = tone < line.snr_db.size() ? static_cast<int>(line.snr_db[tone]) : 0;
        // The fine gain of a loaded tone, in tenths of a dB about 1.0.
        const int gain_tenths = loaded > 0 ? 8 + static_cast<int>(tone * 7 % 5) : 0;
        char cell[48];
        std::snprintf(cell, sizeof cell, "%s%6d%5d%4d.%d%5d", tone % cells_per_line ? " *" : "",
                      static_cast<int>(tone), snr, gain_tenths / 10, gain_tenths % 10, loaded);
        text += cell;
        if (tone % cells_per_line == cells_per_line - 1 || tone + 1 == tones) text += line_end;
    }
    return text;
}
