// What reading the line log (kelvaline.csv) and the tones log (kelvatones.csv) leaves behind:
// aggregates of a fixed size whatever the logs' size, from which the key figures and the page of
// a Broadcom or DrayTek line are made.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "report/log_figures.h"

inline constexpr int down = 0, up = 1;  // the directions: what the modem receives, and the far end

// The running counters of the line log, in the order the key figures name them.
inline constexpr int line_counters = 5;
inline constexpr int line_fec = 0, line_crc = 1, line_es = 2, line_ses = 3, line_uas = 4;
inline constexpr std::array<const char*, line_counters> line_counter_names = {"FEC", "CRC", "ES",
                                                                              "SES", "UAS"};

using CounterSums = std::array<std::int64_t, line_counters>;

// A figure's lowest, highest and latest value over the period.
struct FigureRange {
    bool any = false;
    double lowest = 0, highest = 0, latest = 0;

    void add(double value) {
        if (!any || value < lowest) lowest = value;
        if (!any || value > highest) highest = value;
        latest = value;
        any = true;
    }
};

// Where the line trained again: a running counter fell, or the state left showtime.
struct Retrain {
    WallMinute at = 0;  // the first collection that showed it, local time
    bool down = false;  // the state was not showtime (else: a counter fell between collections)
};

struct LineDirection {
    CounterSums sums{};  // the counters' growth over the period, summed across retrains
    FigureRange rate, attainable, snr_margin;  // kbit/s, kbit/s, dB
    // Per time bucket (the period's buckets): the counters' growth, and the figures' values.
    std::vector<CounterSums> counter_buckets;
    std::vector<BucketValues> rate_buckets, attainable_buckets, snr_margin_buckets;
};

struct LineLogFigures {
    LogQuality quality;
    Spacings spacings;               // of the collections, local time
    std::int64_t clock_changes = 0;  // UTC offset changes (daylight saving time), not gaps
    std::int64_t showtime = 0;       // collections in showtime
    std::int64_t not_showtime = 0;   // collections in another state (training, down, no state)
    std::array<LineDirection, 2> directions;  // down, up
    std::int64_t retrain_count = 0;
    std::vector<Retrain> retrains;  // the first most_listed_retrains of them, in file order
    std::vector<std::int64_t> retrain_buckets;      // retrains per time bucket
    std::vector<std::int64_t> showtime_per_bucket;  // collections in showtime per time bucket
    std::vector<std::int64_t> collections_per_bucket;
    WallMinute worst_crc_hour = -1;  // local hour's first minute, CRC of both directions; -1 none
    std::int64_t worst_crc_errors = 0;
    std::string mode, profile;  // of the latest collection that named them
    std::int32_t tones = 0;     // the Tones column of the latest collection that gave it
};

inline constexpr std::size_t most_listed_retrains = 200;

// The heat map's rows: the tones reduced to at most this many rows of equal width.
inline constexpr std::int32_t most_heat_rows = 256;

struct TonesLogFigures {
    LogQuality quality;
    Spacings spacings;                    // of the collections (bits and bitswap lines), local time
    std::int64_t clock_changes = 0;       // UTC offset changes
    std::int32_t tones = 0;               // the tone count of the latest header
    std::int64_t tone_count_changes = 0;  // headers naming another count than the one before
    std::int64_t bits_lines = 0, bitswap_lines = 0, snr_lines = 0;
    std::int64_t not_rebuilt = 0;  // bitswap lines with no bits line before them: skipped
    std::int64_t other_kinds = 0;  // lines of a kind this report does not know: skipped
    // Per tone of the latest count (figures of an earlier count are dropped at a count change).
    std::vector<std::int32_t> lowest, highest, latest;  // bits; -1 before any
    std::vector<std::int64_t> changes;                  // collections that changed the tone's bits
    // dB; NaN where the router gave none (0.0, which Broadcom prints for a tone it does not
    // measure, is none too)
    std::vector<float> snr_latest, snr_lowest;
    // Heat map: heat.count columns (the period's heat slices) by heat_rows rows of
    // tones_per_heat_row tones each, row 0 the lowest tones; cell = column * heat_rows + row.
    std::int32_t heat_rows = 0;
    std::int32_t tones_per_heat_row = 1;
    std::vector<double> heat_sums;          // bits times collections
    std::vector<std::int64_t> heat_counts;  // tone-collections each sum holds
};

// The frequency of a tone's centre in kHz: DMT tones are 4.3125 kHz apart.
inline double tone_khz(std::int32_t tone) {
    return tone * 4.3125;
}
