// The replies of the simulator's DrayTek router (the Vigor console's "vdsl status", "vdsl status
// more", "vdsl showbins"), laid out as users have published them: label and value pairs padded
// with runs of blanks, two pairs a line, CR LF line ends. Each reply is the text after the echoed
// command, without the prompt that follows it.
#pragma once

#include <string>
#include <string_view>

#include "tools/line_model.h"

inline constexpr std::string_view draytek_prompt = "DrayTek> ";

// The value of "Running Mode": "17A" or "ADSL2+"; blank when the line is down.
std::string_view draytek_mode_text(LineKind kind);

// "vdsl status": "State : SHOWTIME" (down: "TRAINING"), the rates in bit/s ("79999000 bps"),
// the attenuation and SNR margins in whole dB (the integer part of the line's tenths: 6.4 dB is
// printed "6"), the power as "DS actual PSD" and "US actual PSD" with a blank after the point
// ("13. 1 dB"), and the CRC and ES counts near end (down) and far end (up).
std::string draytek_status_reply(const LineCollection& line);

// "vdsl status more": a Near End and a Far End column of the counters, among them ES, SES and
// UAS in seconds, HECError, CRC and RsCorrection (the FEC count). Down: zeros but for UAS.
std::string draytek_status_more_reply(const LineCollection& line);

// "vdsl showbins": the downstream table, four cells a line separated by " *", each cell the
// tone, its SNR in whole dB (the integer part), its gain and its bits; every tone of the line
// from 0, the upstream ones with 0 bits (downstream_bits). Down: the headings without a cell.
std::string draytek_showbins_reply(const LineCollection& line);
