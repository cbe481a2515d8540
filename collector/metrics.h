// The figures one collector keeps about its line and its own work, and their exposition in
// Prometheus's text format for the node exporter's textfile collector (windows_exporter's on
// Windows): written after every cycle to a file that is replaced in one step.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "collect/collection_worker.h"
#include "stats/bins_log.h"
#include "stats/line_record.h"
#include "stats/pending_lines.h"

// One numeric value of the status reply: "   SNR margin down   =\t\t6.1\t dB" gives line 12,
// label "SNR margin down", value 6.1, unit "dB".
struct StatusValue {
    std::int32_t line = 0;  // its line number in the reply, which keeps equal labels apart
    std::string label;      // the text before "=", without blanks or tabs around it
    std::string unit;       // the word after the number; "" when none
    double value = 0;
};

// Cycles that ended without a collection, for one reason the worker gives.
struct MissedCycles {
    std::string reason;
    std::int64_t count = 0;
};

struct LineFigures {
    std::int64_t start_time_unix = 0;  // when the collector started, seconds since 1970 (UTC)
    double interval_seconds = 0;
    bool any_cycle = false;  // a cycle has ended since the start
    bool latest_cycle_collected = false;
    std::int64_t collections = 0;
    std::int64_t last_collection_unix = 0;  // meaningful once collections > 0
    // The worker's reasons are all there from the start, at 0, so that rates exist before the
    // first miss; a reason the worker may give later is added when it first comes.
    std::vector<MissedCycles> missed_cycles;

    // From the latest status reply (present once has_status): the router's own error counters
    // FEC, CRC, HEC, NCD and OCD, as the unsigned 32-bit words routers count in, and every line
    // whose value is a number.
    bool has_status = false;
    std::array<std::uint32_t, 5> error_counters{};
    std::vector<StatusValue> status_values;

    // The latest bit table is either the classic bins reply's (has_bins) or a line record's
    // (tone_bits not empty): a newer table of either kind replaces the other.
    bool has_bins = false;
    BinBits bins;

    // From the latest line record (present once has_line_record), for the families whose replies
    // fill one: its words and figures, its tables taken out (line.bits and line.snr stay empty).
    bool has_line_record = false;
    LineRecord line;
    // The latest tables a line record gave: a record without a table keeps the previous one,
    // except that a record whose state word says the line is not in showtime drops it (it would
    // describe a line that is gone).
    std::vector<std::uint8_t> tone_bits;
    std::vector<double> tone_snr;  // NaN for a tone without a value

    // Lines waiting for an unwritable log, and lines dropped because too many waited, for every
    // log in the order of log_kinds (stats/pending_lines.h).
    std::array<std::int32_t, log_kinds.size()> pending_lines{};
    std::array<std::int64_t, log_kinds.size()> dropped_lines{};
};

// The figures of a collector that starts now and collects every interval_ms.
LineFigures start_line_figures(std::int64_t now_unix, std::int32_t interval_ms);

// Takes in what one cycle came to, at now_unix (seconds since 1970, UTC), and the logs' pending
// lines as stats/pending_lines.h counts them now. A status or bit-loading reply that arrived
// replaces the figures read from the previous one, even when the cycle did not finish; the
// figures of a reply that did not come stay as the latest that did. A line record replaces the
// previous record's figures whole: a figure it lacks is no longer exposed.
void record_cycle(LineFigures& figures, const CycleReport& report, std::int64_t now_unix);

// The value of a status line when it is a number, optionally followed by a unit word (letters,
// "%" or "/"): "16384 kbps", "-6.5", "6.1 dB". Anything else ("3 days 04:17:52", "G.992.5",
// "6dB,3dB", "") is not a number: false. Exposed for testing.
bool status_number(std::string_view value_text, double& value, std::string& unit);

// The figures in Prometheus's text format (version 0.0.4), every line ended by a line feed. A line
// record's figures are named kelvastats_line_*, in base units (rates in bytes per second; dB and
// dBm stay as the router counts them), with the label direction ("down", "up") where the record
// has one per direction; its tables share kelvastats_tone_bit_loading and
// kelvastats_line_bit_loading with the classic family and add kelvastats_tone_snr_decibels. A
// figure the record lacks has no sample, and a family without samples is left out whole.
std::string metrics_text(const LineFigures& figures);

// A label value as the text format wants it between its quotes: backslash, double quote and line
// feed escaped, and every byte that is not part of valid UTF-8 (and the zero byte) replaced by
// U+FFFD, so that Prometheus accepts whatever a router prints. Exposed for testing.
std::string label_value_text(std::string_view raw);

// Writes text to path + ".tmp" in the same folder, then puts it in the place of path, so that a
// reader sees the previous file or this one, never a part. Returns 0, or -1 when the file could
// not be written (nothing of the attempt is left behind).
int write_metrics_file(const std::string& path, std::string_view text);
