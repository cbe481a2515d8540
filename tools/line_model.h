// The DSL line behind the simulator's broadcom and draytek routers: for each collection, the
// figures a real line would show, deterministic from a seed, so that a test or the benchmark can
// compute what collection n must have logged without a socket or a router in between.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class LineKind {
    adsl2plus,  // ADSL2+ Annex A: 512 tones, about 18000/1100 kbit/s
    vdsl17a,    // VDSL2 profile 17a, band plan 998ADE17: 4096 tones, capped at 79999/19999 kbit/s
};

struct LineModelOptions {
    LineKind kind = LineKind::vdsl17a;
    // The line never trains: no rates, no tables, and only the unavailable seconds grow.
    bool down = false;
    std::uint32_t seed = 1;
    // Each training lasts from train_shortest to train_shortest + train_spread - 1 collections:
    // 20 to 59 by default, so that a test sees retrains; a long generated run takes days.
    int train_shortest = 20;
    int train_spread = 40;
    // Errors as a line in a home meets them: CRC errors and errored seconds mostly in the evening
    // hours (19:00 to 22:59, when the margin also dips) and in rare bursts of a few minutes, few
    // otherwise. Off, they trickle in evenly through the day.
    bool error_bursts = false;
    // The minute of the day (0 to 1439) of collection 0, which places the evening hours; every
    // later collection is one minute on.
    int first_minute_of_day = 0;
};

template <typename Value>
struct DownUp {
    Value down{};  // what the modem receives (the router's near end)
    Value up{};    // what the exchange receives (the far end)
    bool operator==(const DownUp&) const = default;
};

// The tones first to last, both included.
struct ToneBand {
    std::int32_t first = 0;
    std::int32_t last = 0;
};

// The router's running totals: FEC the blocks forward error correction repaired, CRC the blocks
// received damaged, HEC the damaged ATM cell headers (always 0 on VDSL2, which carries no cells);
// ES, SES and UAS are seconds (errored, severely errored, unavailable).
struct LineCounts {
    DownUp<std::uint64_t> fec, crc, hec, es, ses, uas;
    bool operator==(const LineCounts&) const = default;
};

// The line at one collection. The figures a router prints in dB or dBm are kept in tenths so that
// every family's text of them is exact (see decibel_text).
struct LineCollection {
    int collection = 0;
    LineKind kind = LineKind::vdsl17a;
    bool showtime = false;
    // Trainings are numbered from 0, the one the line had when the simulator started; each
    // retrain begins the next. `retrained` is set on the first collection of a later training.
    int train = 0;
    bool retrained = false;
    int collection_in_train = 0;      // 0 on a training's first collection
    std::int64_t link_seconds = 0;    // since the line came up; 0 when down
    std::int64_t uptime_seconds = 0;  // since the router started, 60 s a collection
    std::int64_t bitswaps = 0;        // bitswaps downstream since the line came up
    DownUp<std::int32_t> rate_kbps;   // the sync rate; 0 when down
    DownUp<std::int32_t> attainable_kbps;
    DownUp<std::int32_t> snr_margin_tenths;   // dB; 0 when down
    DownUp<std::int32_t> attenuation_tenths;  // dB; 0 when down
    DownUp<std::int32_t> power_tenths;        // dBm, never negative; 0 when down
    // Since the line came up; when it is down, since the router started (the only figures a
    // router then prints, in which only UAS grows).
    LineCounts counts;
    LineCounts total_counts;  // since the router started
    // Bits loaded on every tone, tone 0 first, the upstream bands' tones with their upstream bits
    // (one table, as xdslctl prints it); empty when down. A few downstream tones change from one
    // collection to the next (bitswap moves a bit from one tone to another: the total, and so the
    // rates, stay those of the training).
    std::vector<std::uint8_t> bits;
    // The SNR of every tone in dB, a multiple of 1/16; 0 on tones outside the downstream bands,
    // which the modem does not measure. Empty when down.
    std::vector<double> snr_db;
    bool operator==(const LineCollection&) const = default;
};

std::int32_t tone_count(LineKind kind);
std::span<const ToneBand> downstream_bands(LineKind kind);
std::span<const ToneBand> upstream_bands(LineKind kind);
bool is_downstream_tone(LineKind kind, std::int32_t tone);

// "17a" for VDSL2, "" for ADSL2+.
std::string_view line_profile(LineKind kind);

// Parses "adsl2plus" or "vdsl17a"; false for anything else.
bool line_kind_named(std::string_view name, LineKind& kind);

// The line at collection n (0, 1, 2 ...). The same options and n always give the same figures.
// Each call works out the trainings and counters from collection 0 on: a long run walks the line
// with a LineWalker instead.
LineCollection line_collection(const LineModelOptions& options, int collection);

// The line collection after collection, at a small cost for each: at(n) gives what
// line_collection(options, n) gives, cheaply when n is the collection after the previous call's
// (or the same one), and by working it out from collection 0 for any other n.
class LineWalker {
  public:
    explicit LineWalker(const LineModelOptions& options);
    const LineCollection& at(int collection);

  private:
    void seek(int collection);
    void step();
    void begin_train(int number, int start);
    void fill(int collection);

    LineModelOptions options_;
    std::vector<std::int32_t> down_tones_;  // every downstream tone, lowest first
    int current_ = -1;                      // the collection line_ holds; -1 before any
    int train_start_ = 0;                   // the first collection of line_.train
    int train_length_ = 0;                  // its collections
    std::vector<std::uint8_t> trained_bits_;
    std::vector<double> snr_ripple_;  // dB, of each downstream tone in down_tones_'s order
    LineCounts counts_;               // at current_, since the line came up
    LineCounts earlier_counts_;       // the last counts of every earlier training, added up
    LineCollection line_;
};

// The first collection from `from` on that begins a later training (one whose line is
// `retrained`); -1 for a line that is down.
int next_retrain(const LineModelOptions& options, int from);

// The bit table with the upstream tones set to 0: what a router that shows the downstream bits
// only (DrayTek's showbins) prints.
std::vector<std::uint8_t> downstream_bits(const LineCollection& line);

// Tenths as a decimal with one digit after the point: 61 gives "6.1", -5 gives "-0.5".
std::string decibel_text(std::int32_t tenths);
