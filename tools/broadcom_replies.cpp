// The xdslctl replies of the simulated Broadcom router. The layout follows published output of
// BCM963xxx gateways (a D-Link DSL-G225 and a Huawei HG612 on VDSL2 17a, ADSL2+ Annex A
// gateways): the labels with the tabs those printed, the Down column before the Up one.
#include "tools/broadcom_replies.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::string_view line_end = "\r\n";

void add(std::string& text, std::string_view line) {
    text += line;
    text += line_end;
}

// A row of two counts: "FEC:\t\t1045793\t\t0". The label carries its own tabs, as the firmware's.
void add_row(std::string& text, std::string_view label, std::uint64_t down, std::uint64_t up) {
    text += label;
    text += std::to_string(down);
    text += "\t\t";
    text += std::to_string(up);
    text += line_end;
}

void add_pair(std::string& text, std::string_view label, std::string_view down,
              std::string_view up) {
    text += label;
    text += down;
    text += "\t\t";
    text += up;
    text += line_end;
}

// "2 days 39 min 7 sec", "24 hours 0 sec": the units that are not 0, and the seconds always;
// days only beyond the first whole one.
std::string duration_text(std::int64_t seconds) {
    std::string text;
    const auto unit = [&text](std::int64_t value, const char* name) {
        if (value == 0) return;
        text += std::to_string(value) + " " + name + " ";
    };
    const std::int64_t days = seconds > 86400 ? seconds / 86400 : 0;
    unit(days, "days");
    unit((seconds - days * 86400) / 3600, "hours");
    unit(seconds / 60 % 60, "min");
    text += std::to_string(seconds % 60) + " sec";
    return text;
}

std::string kbps_line(std::string_view label, const DownUp<std::int32_t>& rate) {
    return std::string(label) + "Upstream rate = " + std::to_string(rate.up) +
           " Kbps, Downstream rate = " + std::to_string(rate.down) + " Kbps";
}

// The lines every xdslctl info command begins with.
std::string state_lines(const LineCollection& line) {
    std::string text;
    add(text, "xdslctl: ADSL driver and PHY status");
    if (!line.showtime) {
        add(text, "Status: Idle");
        add(text, "Last Retrain Reason:\t0");
        add(text, "Last initialization procedure status:\t0");
        return text;
    }
    add(text, "Status: Showtime");
    add(text, line.train > 0 ? "Last Retrain Reason:\t1" : "Last Retrain Reason:\t0");
    add(text, "Last initialization procedure status:\t0");
    add(text, kbps_line("Max:\t", line.attainable_kbps));
    add(text, kbps_line("Bearer:\t0, ", line.rate_kbps));
    if (line.kind == LineKind::vdsl17a) {
        add(text, "Bearer:\t1, Upstream rate = 0 Kbps, Downstream rate = 0 Kbps");
    } else {
        add(text, "");
    }
    return text;
}

// A share of a count for an interval of `seconds` within the `whole` it was counted over.
std::uint64_t share(std::uint64_t count, std::int64_t seconds, std::int64_t whole) {
    if (whole <= 0 || seconds >= whole) return count;
    return count * static_cast<std::uint64_t>(seconds) / static_cast<std::uint64_t>(whole);
}

void add_block(std::string& text, std::string_view title, std::int64_t seconds,
               const LineCounts& counts, std::uint64_t losses) {
    text += title;
    text += " time = ";
    text += duration_text(seconds);
    text += line_end;
    add_row(text, "FEC:\t\t", counts.fec.down, counts.fec.up);
    add_row(text, "CRC:\t\t", counts.crc.down, counts.crc.up);
    add_row(text, "ES:\t\t", counts.es.down, counts.es.up);
    add_row(text, "SES:\t\t", counts.ses.down, counts.ses.up);
    add_row(text, "UAS:\t\t", counts.uas.down, counts.uas.up);
    add_row(text, "LOS:\t\t", losses, losses);
    add_row(text, "LOF:\t\t", 0, 0);
    add_row(text, "LOM:\t\t", 0, 0);
}

// The counts of an interval: the line's figures in proportion to its part of the link time,
// and never more than is left of them after `before`.
LineCounts interval_counts(const LineCounts& counts, std::int64_t seconds, std::int64_t link,
                           const LineCounts* before = nullptr) {
    LineCounts part;
    const auto one = [&](const DownUp<std::uint64_t>& all, const DownUp<std::uint64_t>* used,
                         DownUp<std::uint64_t>& out) {
        out.down = share(all.down, seconds, link);
        out.up = share(all.up, seconds, link);
        if (used != nullptr) {
            out.down = std::min(out.down, all.down - used->down);
            out.up = std::min(out.up, all.up - used->up);
        }
    };
    one(counts.fec, before ? &before->fec : nullptr, part.fec);
    one(counts.crc, before ? &before->crc : nullptr, part.crc);
    one(counts.es, before ? &before->es : nullptr, part.es);
    one(counts.ses, before ? &before->ses : nullptr, part.ses);
    return part;
}

void add_interval_blocks(std::string& text, const LineCollection& line) {
    const std::int64_t link = std::max<std::int64_t>(line.link_seconds, 1);
    const std::int64_t quarter = line.uptime_seconds % 900;
    const std::int64_t day = line.uptime_seconds % 86400;
    const LineCounts latest_quarter = interval_counts(line.counts, quarter, link);
    const LineCounts latest_day = interval_counts(line.counts, day, link);
    add_block(text, "Latest 15 minutes", quarter, latest_quarter, 0);
    add_block(text, "Previous 15 minutes", 900,
              interval_counts(line.counts, 900, link, &latest_quarter), 0);
    add_block(text, "Latest 1 day", day, latest_day, 0);
    add_block(text, "Previous 1 day", 86400, interval_counts(line.counts, 86400, link, &latest_day),
              0);
}

std::string down_stats(const LineCollection& line) {
    std::string text = state_lines(line);
    add(text, "");
    add_block(text, "Total", line.uptime_seconds, line.total_counts, 0);
    add_block(text, "Latest 15 minutes", line.uptime_seconds % 900,
              interval_counts(line.total_counts, line.uptime_seconds % 900, line.uptime_seconds),
              0);
    return text;
}

void add_framing(std::string& text, const LineCollection& line) {
    if (line.kind == LineKind::vdsl17a) {
        add(text, "\t\t\tVDSL2 framing");
        add(text, "\t\t\tBearer 0");
        add(text, "MSGc:\t\t-6\t\t20");
        add(text, "B:\t\t243\t\t239");
        add(text, "M:\t\t1\t\t1");
        add(text, "T:\t\t0\t\t64");
        add(text, "R:\t\t10\t\t0");
        add(text, "S:\t\t0.1119\t\t0.3819");
        add(text, "L:\t\t18161\t\t5028");
        add(text, "D:\t\t8\t\t1");
        add(text, "I:\t\t254\t\t120");
        add(text, "N:\t\t254\t\t240");
    } else {
        add(text, "\t\t\tADSL2 framing");
        add(text, "\t\t\tBearer 0");
        add(text, "MSGc:\t\t51\t\t17");
        add(text, "B:\t\t231\t\t14");
        add(text, "M:\t\t1\t\t1");
        add(text, "T:\t\t2\t\t3");
        add(text, "R:\t\t0\t\t0");
        add(text, "S:\t\t0.5704\t\t0.9449");
        add(text, "L:\t\t3254\t\t127");
        add(text, "D:\t\t1\t\t1");
    }
}

void add_bearer_cells(std::string& text, std::string_view bearer, std::uint64_t hec_down,
                      std::uint64_t hec_up, std::uint64_t cells) {
    add(text, bearer);
    add_row(text, "HEC:\t\t", hec_down, hec_up);
    add_row(text, "OCD:\t\t", 0, 0);
    add_row(text, "LCD:\t\t", 0, 0);
    add_row(text, "Total Cells:\t", cells, 0);
    add_row(text, "Data Cells:\t", cells / 7, 0);
    add(text, "Drop Cells:\t0");
    add_row(text, "Bit Errors:\t", 0, 0);
    add(text, "");
}

std::string showtime_stats(const LineCollection& line) {
    const bool vdsl = line.kind == LineKind::vdsl17a;
    const LineCounts& c = line.counts;
    const auto seconds = static_cast<std::uint64_t>(line.link_seconds);
    std::string text = state_lines(line);
    add(text, "Link Power State:\tL0");
    add(text, std::string("Mode:\t\t\t") + std::string(broadcom_mode_text(line.kind)));
    if (vdsl) add(text, "VDSL2 Profile:\t\tProfile 17a");
    add(text, vdsl ? "TPS-TC:\t\t\tPTM Mode(0x0)" : "TPS-TC:\t\t\tATM Mode(0x0)");
    add(text, "Trellis:\t\tU:ON /D:ON");
    add(text, "Line Status:\t\tNo Defect");
    add(text, "Training Status:\tShowtime");
    add(text, "\t\tDown\t\tUp");
    const auto decibels = [&text](std::string_view label, const DownUp<std::int32_t>& tenths) {
        // Each figure after one blank, as xdslctl aligns them. Appended, not "literal + string",
        // which GCC 12 at -O3 warns about wrongly (-Wrestrict).
        std::string down(" "), up(" ");
        down.append(decibel_text(tenths.down));
        up.append(decibel_text(tenths.up));
        add_pair(text, label, down, up);
    };
    decibels("SNR (dB):\t", line.snr_margin_tenths);
    decibels("Attn(dB):\t", line.attenuation_tenths);
    decibels("Pwr(dBm):\t", line.power_tenths);
    add_framing(text, line);
    add(text, "\t\t\tCounters");
    add(text, "\t\t\tBearer 0");
    const std::uint64_t codewords = seconds * (vdsl ? 16000 : 4000);
    if (vdsl) {
        add_row(text, "OHF:\t\t", seconds * 31, seconds * 29);
        add_row(text, "OHFErr:\t\t", c.crc.down, c.crc.up);
    } else {
        add_row(text, "SF:\t\t", seconds * 58, seconds * 58);
        add_row(text, "SFErr:\t\t", c.crc.down, c.crc.up);
    }
    add_row(text, "RS:\t\t", codewords, codewords / 4);
    add_row(text, "RSCorr:\t\t", c.fec.down, c.fec.up);
    add_row(text, "RSUnCorr:\t", c.crc.down / 2, c.crc.up / 2);
    add(text, "");
    add_bearer_cells(text, "\t\t\tBearer 0", c.hec.down, c.hec.up, vdsl ? 0 : seconds * 9400);
    if (vdsl) add_bearer_cells(text, "\t\t\tBearer 1", 0, 0, 0);
    add_row(text, "ES:\t\t", c.es.down, c.es.up);
    add_row(text, "SES:\t\t", c.ses.down, c.ses.up);
    add_row(text, "UAS:\t\t", c.uas.down, c.uas.up);
    add(text, "AS:\t\t" + std::to_string(seconds));
    add(text, "");
    add(text, "\t\t\tBearer 0");
    add(text, vdsl ? "INP:\t\t52.00\t\t0.00" : "INP:\t\t0.00\t\t0.00");
    add(text, vdsl ? "INPRein:\t1.00\t\t0.00" : "INPRein:\t0.00\t\t0.00");
    add(text, "delay:\t\t0\t\t0");
    add(text, vdsl ? "PER:\t\t0.00\t\t6.13" : "PER:\t\t16.06\t\t16.72");
    add(text, vdsl ? "OR:\t\t0.01\t\t33.91" : "OR:\t\t32.37\t\t11.00");
    char aggregate[64];
    std::snprintf(aggregate, sizeof aggregate, "AgR:\t\t%d.%02d\t%d.%02d",
                  static_cast<int>(line.rate_kbps.down), static_cast<int>(line.collection % 100),
                  static_cast<int>(line.rate_kbps.up),
                  static_cast<int>((line.collection * 7) % 100));
    add(text, aggregate);
    add(text, "");
    const std::string down_swaps = std::to_string(line.bitswaps);
    const std::string up_swaps = std::to_string(line.bitswaps / 3);
    add(text, "Bitswap:\t" + down_swaps + "/" + down_swaps + "\t\t" + up_swaps + "/" + up_swaps);
    add(text, "");
    add_block(text, "Total", line.uptime_seconds, line.total_counts,
              static_cast<std::uint64_t>(line.train));
    add_interval_blocks(text, line);
    add_block(text, "Since Link", line.link_seconds, line.counts, 0);
    return text;
}

// The state lines, the heading, and "   tone\t\tvalue" for each tone.
template <typename Format>
std::string tone_table(const LineCollection& line, std::string_view heading, std::size_t tones,
                       Format value_text) {
    std::string text = state_lines(line);
    // ADSL2+'s state lines end with a blank line already.
    if (!line.showtime || line.kind == LineKind::vdsl17a) add(text, "");
    add(text, heading);
    text.reserve(text.size() + tones * 20);
    for (std::size_t tone = 0; tone < tones; ++tone) {
        text += "   ";
        text += std::to_string(tone);
        text += "\t\t";
        text += value_text(tone);
        text += line_end;
    }
    return text;
}

}  // namespace

std::string_view broadcom_mode_text(LineKind kind) {
    return kind == LineKind::vdsl17a ? "VDSL2 Annex B" : "ADSL2+ Annex A";
}

std::string broadcom_stats_reply(const LineCollection& line) {
    return line.showtime ? showtime_stats(line) : down_stats(line);
}

std::string broadcom_bits_reply(const LineCollection& line) {
    return tone_table(line, "Tone number      Bit Allocation", line.bits.size(),
                      [&line](std::size_t tone) { return std::to_string(line.bits[tone]); });
}

std::string broadcom_snr_reply(const LineCollection& line) {
    return tone_table(line, "Tone number      SNR", line.snr_db.size(), [&line](std::size_t tone) {
        char value[24];
        std::snprintf(value, sizeof value, "%.4f", line.snr_db[tone]);
        return std::string(value);
    });
}
