// One collection of a DSL line as a router family reads it from the router's replies: the record
// that the line and tones logs, the console line and the metrics read, whichever family filled it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A figure for each direction. Down is what the modem receives (the router's "near end"), up what
// the exchange receives ("far end").
template <typename Value>
struct PerDirection {
    Value down{};
    Value up{};
};

// A running total of the router's; nullopt when the router gave none.
using RunningCount = std::optional<std::uint64_t>;
// A rate in kbit/s; nullopt when the router gave none.
using RateKbits = std::optional<std::int64_t>;

struct LineRecord {
    // The router's own word for the line's state, as it prints it ("Showtime", "SHOWTIME",
    // "Idle", "TRAINING"); "" when it gave none.
    std::string state;
    // The modulation as the router names it ("VDSL2", "ADSL2+", "G.992.5", "G.DMT"); "" for none.
    std::string mode;
    // The VDSL2 profile ("17a", "8b", "35b"); "" for ADSL and when the router gave none.
    std::string profile;

    PerDirection<RateKbits> rate;        // the sync rate, kbit/s
    PerDirection<RateKbits> attainable;  // the attainable rate, kbit/s

    // Decibel figures: a number as the router printed it, made plain ("-12.5", "6.1", "0.6"):
    // an optional "-", digits and at most one "." with digits after it. "" when the router gave
    // none.
    PerDirection<std::string> snr_margin;   // dB
    PerDirection<std::string> attenuation;  // dB
    PerDirection<std::string> power;        // output power, dBm

    // The router's running totals since the line came up (else since the router started): a fall
    // shows a retrain. FEC counts the blocks that forward error correction repaired, CRC the
    // blocks received damaged, HEC the damaged cell headers; ES, SES and UAS are seconds
    // (errored, severely errored, unavailable).
    PerDirection<RunningCount> fec, crc, hec, es, ses, uas;

    // Bits loaded on each tone, tone 0 first, as many as the router reported; empty when it gave
    // no bit table this cycle.
    std::vector<std::uint8_t> bits;
    // The SNR of each tone in dB, tone 0 first; NaN for a tone without a value; empty when the
    // router gave no SNR table this cycle (Broadcom's is asked for once an hour).
    std::vector<double> snr;
};

// Whether the router's state word says the line is up: it holds "showtime" in any case.
bool line_in_showtime(const LineRecord& record);

// A plain decibel text of `text` as the families write it into the record: the blanks inside a
// number taken out ("0. 6" gives "0.6"), a "," decimal point made ".", a leading "+" dropped.
// "" when what is left is not an optional "-", digits and at most one "." followed by digits.
std::string plain_decimal(std::string_view text);
