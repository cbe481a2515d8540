// The replies of the simulator's Broadcom router (xdslctl on a BCM963xxx gateway), laid out as
// users have published them: "label:" and tab-separated Down and Up columns, CR LF line ends.
// Each reply is the text after the echoed command, without the prompt that follows it.
#pragma once

#include <string>
#include <string_view>

#include "tools/line_model.h"

inline constexpr std::string_view broadcom_prompt = " > ";

// The word of the "Mode:" line: "VDSL2 Annex B" or "ADSL2+ Annex A".
std::string_view broadcom_mode_text(LineKind kind);

// "xdslctl info --stats". In showtime: the state lines, the rates ("Max:" the attainable ones,
// "Bearer:\t0" the sync ones, in Kbps), mode, profile (VDSL2 only), the SNR margin, attenuation
// and power with one decimal, the framing, the counters of each bearer, then the counter blocks:
// "Total time" (total_counts) and "Since Link time" (counts) match the line; the 15-minute and
// 1-day blocks between them are plausible figures below those. Down: "Status: Idle" and the
// "Total time" and "Latest 15 minutes" blocks only.
std::string broadcom_stats_reply(const LineCollection& line);

// "xdslctl info --Bits": the state lines, then "Tone number      Bit Allocation" and one line
// "   tone\t\tbits" per tone (about 52 KB for 4096 tones). Down: the heading without a line after
// it.
std::string broadcom_bits_reply(const LineCollection& line);

// "xdslctl info --SNR": as the bit table, "Tone number      SNR" and "   tone\t\tdB" with four
// decimals (0.0000 outside the downstream bands).
std::string broadcom_snr_reply(const LineCollection& line);
