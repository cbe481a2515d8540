// The tones log "kelvatones.csv": the bits of every tone at each collection, most often as the few
// tones that changed, and each tone's SNR when the router gave it.
//
// Every collection with a bit table gives one line of kind "bits" or "bitswap" (columns Time,Kind,
// then Tone0 ... ToneN-1 as the header names them):
//   2026-12-09T21:04:05+01:00,bits,0,0,2,9,10,...   the bits of tone 0, 1, ..., all of them
//   2026-12-09T21:05:05+01:00,bitswap,812:9,1034:10 tone:bits for each tone whose bits changed
//                                                   since the collection before
//   2026-12-09T21:06:05+01:00,bitswap               nothing changed
// A collection's loading is the latest bits line's with every bitswap line after it applied in
// order. A bits line comes at the first collection of each local hour, when the UTC offset changes,
// at the first collection of the program, when the log was started anew, and wherever the changes
// would take more bytes than the whole line. A header line (it begins "Time,Kind,") comes before
// the first bits line of the program and before the bits line of a new tone count, so no line has
// more fields than the header above it. A bitswap line before any bits line (possible only when
// waiting lines were dropped or the log was replaced) cannot be rebuilt and is to be skipped.
//   2026-12-09T21:00:05+01:00,snr,45.3,,44.1        each tone's SNR in dB, one decimal; empty
//                                                   where the tone has none; the empty fields
//                                                   at the end left out
// An snr line follows the collection's bits line when the record has an SNR table, at most once a
// local hour by the rule of the bits lines (first of the program, new hour, new UTC offset).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "stats/line_record.h"

// The local hour a collection falls in, with its UTC offset: the hour that comes twice when the
// clocks go back differs in its offset, and a clock set back to an earlier hour differs in its
// hour, so either gives a new bits line.
struct ClockHour {
    std::int64_t local_hour = 0;  // the date value (runtime/date.h) divided by 3600
    int utc_offset_minutes = 0;
    bool operator==(const ClockHour&) const = default;
};
ClockHour clock_hour(std::int64_t date, int utc_offset_minutes);

// What the log's lines so far rebuild to, and when the latest bits and snr lines were written.
struct TonesMemory {
    bool bits_written = false;       // a bits line has been made in this program (or since reset)
    std::vector<std::uint8_t> bits;  // the loading the lines so far rebuild to
    ClockHour bits_hour;             // of the latest bits line
    bool snr_written = false;
    ClockHour snr_hour;  // of the latest snr line
};

// How the step found the log.
struct TonesLogOpening {
    bool started = false;  // just created: its next line must not need the lines before it
    // The header the new log got is right before these lines (no line was waiting before them),
    // so they need no header of their own.
    bool header_written = false;
};

// "Time,Kind,Tone0,...,ToneN-1" and CR LF.
std::string tones_log_header(std::size_t tone_count);

// The lines of record for the log, CR LF included (a header line first where one is due), and
// memory updated to them; "" and memory unchanged when the record has no bit table.
std::string tones_log_lines(const LineRecord& record, std::string_view time_stamp, ClockHour hour,
                            TonesLogOpening opening, TonesMemory& memory);
