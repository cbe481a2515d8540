// The simulated line: trainings of 20 to 59 collections by default, each with its own bit loading
// (and so its own rates), counters that grow within a training and start again small after a
// retrain, errors evenly through the day or in the evening and in bursts, and a few bits moved
// between tones at each collection. A walker keeps what a collection shares with the one before
// it (the training's loading, the counters so far), so that walking the line costs little.
#include "tools/line_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace {

constexpr std::int64_t seconds_per_collection = 60;
// A retrain takes the line away for about this long; the router counts it as unavailable.
constexpr std::uint64_t retrain_outage_seconds = 45;
constexpr int bitswaps_per_collection = 3;

// Band plan 998ADE17 with US0, as a 17a line trains on it: the tones of each band that carry data.
constexpr std::array<ToneBand, 3> vdsl_down = {{{33, 859}, {1216, 1971}, {2792, 4095}}};
constexpr std::array<ToneBand, 3> vdsl_up = {{{6, 32}, {870, 1205}, {1972, 2782}}};
// ADSL2+ Annex A, without overlap: upstream below downstream.
constexpr std::array<ToneBand, 1> adsl_down = {{{33, 511}}};
constexpr std::array<ToneBand, 1> adsl_up = {{{6, 31}}};

// A well-mixed 32-bit value of the seed and two numbers: the one source of every variation.
std::uint32_t mix(std::uint32_t seed, std::uint32_t a, std::uint32_t b) {
    std::uint64_t x = (static_cast<std::uint64_t>(seed) << 32) ^
                      (static_cast<std::uint64_t>(a) * 0x9E3779B97F4A7C15ull) ^
                      (static_cast<std::uint64_t>(b) * 0xC2B2AE3D27D4EB4Full);
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    return static_cast<std::uint32_t>(x);
}

// Salts that keep the uses of mix apart.
enum Salt : std::uint32_t {
    train_length_salt = 1,
    level_salt,
    ripple_salt,
    margin_salt,
    jitter_salt,
    attenuation_salt,
    power_salt,
    start_count_salt,
    growth_salt,
    bitswap_salt,
    snr_salt,
    uptime_salt,
    burst_salt,
};

// An integer from lowest to lowest + spread - 1.
std::int32_t spread_of(std::uint32_t seed, Salt salt, std::uint32_t a, std::uint32_t b,
                       std::int32_t lowest, std::int32_t spread) {
    return lowest + static_cast<std::int32_t>(mix(seed, salt * 7919u + a, b) %
                                              static_cast<std::uint32_t>(spread));
}

int train_length(const LineModelOptions& options, int train) {
    return spread_of(options.seed, train_length_salt, static_cast<std::uint32_t>(train), 0,
                     std::max(1, options.train_shortest), std::max(1, options.train_spread));
}

// The training's bit loading, before bitswap. Bits fall with the tone's frequency (the line's
// attenuation), each training a level higher or lower and with its own ripple from tone to tone.
std::vector<std::uint8_t> trained_bits(const LineModelOptions& options, int train) {
    const std::uint32_t seed = options.seed;
    const std::int32_t tones = tone_count(options.kind);
    const bool vdsl = options.kind == LineKind::vdsl17a;
    const double level = spread_of(seed, level_salt, static_cast<std::uint32_t>(train), 0, -1, 3);
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(tones), 0);
    const auto load = [&](std::span<const ToneBand> bands, double top, double fall,
                          std::int32_t over) {
        for (const ToneBand& band : bands) {
            for (std::int32_t tone = band.first; tone <= band.last; ++tone) {
                double value = top + level - fall * (tone - bands.front().first) / over;
                const std::uint32_t r =
                    mix(seed, ripple_salt + static_cast<std::uint32_t>(train) * 16,
                        static_cast<std::uint32_t>(tone));
                value += r % 5 == 0 ? -1 : (r % 7 == 0 ? 1 : 0);
                // The tones at a band's edges carry less: the filters are not sharp.
                if (tone - band.first < 2 || band.last - tone < 2) value -= 3;
                bits[static_cast<std::size_t>(tone)] =
                    static_cast<std::uint8_t>(std::clamp<long>(std::lround(value), 0, 15));
            }
        }
    };
    if (vdsl) {
        load(downstream_bands(options.kind), 13.2, 11.0, 4062);
        load(upstream_bands(options.kind), 11.5, 6.5, 2776);
    } else {
        load(downstream_bands(options.kind), 14.5, 9.0, 478);
        load(upstream_bands(options.kind), 11.5, 1.0, 25);
    }
    return bits;
}

// The rate a bit loading can carry: 4000 symbols a second, less 4 % of framing.
std::int32_t carried_kbps(const std::vector<std::uint8_t>& bits, LineKind kind, bool down) {
    std::int64_t total = 0;
    for (std::size_t tone = 0; tone < bits.size(); ++tone) {
        if (is_downstream_tone(kind, static_cast<std::int32_t>(tone)) == down) total += bits[tone];
    }
    return static_cast<std::int32_t>(total * 4 * 96 / 100);
}

std::uint64_t draw(std::uint32_t seed, Salt salt, std::uint32_t a, std::uint32_t b,
                   std::uint32_t modulo) {
    return mix(seed, salt * 7919u + a, b) % modulo;
}

// The counters of a training's first collection: those the router had when the simulator
// started for the first training, small ones after a retrain.
LineCounts start_counts(const LineModelOptions& options, int train) {
    const std::uint32_t seed = options.seed;
    const auto t = static_cast<std::uint32_t>(train);
    const bool adsl = options.kind == LineKind::adsl2plus;
    LineCounts c;
    if (train == 0) {
        c.fec = {(adsl ? 30000u : 1000000u) + draw(seed, start_count_salt, t, 0, 100000),
                 2000 + draw(seed, start_count_salt, t, 1, 500)};
        c.crc = {400 + draw(seed, start_count_salt, t, 2, 200),
                 100 + draw(seed, start_count_salt, t, 3, 300)};
        c.hec = {adsl ? 30 + draw(seed, start_count_salt, t, 4, 20) : 0,
                 adsl ? draw(seed, start_count_salt, t, 5, 5) : 0};
        c.es = {c.crc.down / 4, c.crc.up / 3};
        c.ses = {1 + draw(seed, start_count_salt, t, 6, 3), draw(seed, start_count_salt, t, 7, 2)};
    } else {
        c.fec = {10 + draw(seed, start_count_salt, t, 0, 40),
                 draw(seed, start_count_salt, t, 1, 5)};
        c.crc = {draw(seed, start_count_salt, t, 2, 3), draw(seed, start_count_salt, t, 3, 2)};
        c.hec = {adsl ? draw(seed, start_count_salt, t, 4, 2) : 0, 0};
        c.es = {std::min<std::uint64_t>(c.crc.down, 1), std::min<std::uint64_t>(c.crc.up, 1)};
        // The unavailable seconds the new link counted while it settled.
        if (options.error_bursts)
            c.uas = {10 + draw(seed, start_count_salt, t, 8, 30),
                     10 + draw(seed, start_count_salt, t, 9, 30)};
    }
    return c;
}

// The bursts: in one block of collections in burst_chance at most one, of 3 to 27 collections.
constexpr int burst_block = 360;
constexpr std::uint32_t burst_chance = 10;
constexpr int evening_from = 19 * 60, evening_until = 23 * 60;  // minutes of the day

bool in_evening(const LineModelOptions& options, int collection) {
    constexpr int day = 1440;
    const int minute = ((options.first_minute_of_day + collection) % day + day) % day;
    return minute >= evening_from && minute < evening_until;
}

bool in_burst(const LineModelOptions& options, int collection) {
    const auto block = static_cast<std::uint32_t>(collection / burst_block);
    if (draw(options.seed, burst_salt, block, 0, burst_chance) != 0) return false;
    const auto begin = static_cast<int>(draw(options.seed, burst_salt, block, 1, burst_block - 30));
    const int length = 3 + static_cast<int>(draw(options.seed, burst_salt, block, 2, 25));
    const int at = collection % burst_block;
    return at >= begin && at < begin + length;
}

// What the collection `step` of a training (1 or more) adds to its counters, errors trickling in
// evenly. FEC always grows; errored seconds follow the CRC errors.
void add_even_growth(const LineModelOptions& options, int train, int step, LineCounts& c) {
    const std::uint32_t seed = options.seed;
    const auto key = static_cast<std::uint32_t>(train) * 4096u + static_cast<std::uint32_t>(step);
    const bool adsl = options.kind == LineKind::adsl2plus;
    const std::uint64_t fec_down = adsl ? 20 + draw(seed, growth_salt, key, 0, 60)
                                        : 120 + draw(seed, growth_salt, key, 0, 360);
    const std::uint64_t crc_down = draw(seed, growth_salt, key, 2, 5) == 0
                                       ? 1 + draw(seed, growth_salt, key, 3, 3)
                                       : draw(seed, growth_salt, key, 4, 2);
    const std::uint64_t crc_up = draw(seed, growth_salt, key, 5, 3) == 0 ? 1 : 0;
    c.fec.down += fec_down;
    c.fec.up += draw(seed, growth_salt, key, 1, 12);
    c.crc.down += crc_down;
    c.crc.up += crc_up;
    if (adsl) c.hec.down += draw(seed, growth_salt, key, 6, 4) == 0 ? 1 : 0;
    c.es.down += crc_down > 0 ? 1 : 0;
    c.es.up += crc_up;
    c.ses.down += crc_down >= 3 && draw(seed, growth_salt, key, 7, 3) == 0 ? 1 : 0;
}

// What a collection adds to the counters when errors come in the evening and in bursts: a few
// an hour by day and at night, one minute in three with errors in the evening, and tens a minute
// in a burst, whose errored seconds are many and partly severe.
void add_bursty_growth(const LineModelOptions& options, int collection, LineCounts& c) {
    const std::uint32_t seed = options.seed;
    const auto key = static_cast<std::uint32_t>(collection);
    const auto roll = [&](std::uint32_t which, std::uint32_t modulo) {
        return draw(seed, growth_salt, key, which, modulo);
    };
    const bool adsl = options.kind == LineKind::adsl2plus;
    const bool evening = in_evening(options, collection);
    const bool burst = in_burst(options, collection);
    std::uint64_t fec_down = adsl ? 20 + roll(0, 60) : 120 + roll(0, 360);
    std::uint64_t fec_up = roll(1, 12);
    std::uint64_t crc_down = 0, crc_up = 0;
    if (burst) {
        crc_down = 20 + roll(2, 80);
        crc_up = roll(3, 6);
        fec_down += 2000 + roll(4, 6000);
        fec_up += roll(5, 200);
    } else if (evening) {
        crc_down = roll(2, 3) == 0 ? 1 + roll(3, 4) : 0;
        crc_up = roll(4, 8) == 0 ? 1 : 0;
        fec_down += roll(5, 400);
    } else {
        crc_down = roll(2, 60) == 0 ? 1 : 0;
        crc_up = roll(3, 200) == 0 ? 1 : 0;
    }
    // In a burst the errors crowd into fewer seconds than there are errors.
    const std::uint64_t es_down =
        burst ? std::min<std::uint64_t>(60, crc_down / 2 + roll(6, 10)) : crc_down;
    c.fec.down += fec_down;
    c.fec.up += fec_up;
    c.crc.down += crc_down;
    c.crc.up += crc_up;
    if (adsl) c.hec.down += roll(7, burst || evening ? 8 : 60) == 0 ? 1 : 0;
    c.es.down += es_down;
    c.es.up += crc_up;
    c.ses.down += burst ? roll(8, es_down / 3 + 1) : 0;
}

void add_growth(const LineModelOptions& options, int train, int step, int collection,
                LineCounts& c) {
    if (options.error_bursts) {
        add_bursty_growth(options, collection, c);
    } else {
        add_even_growth(options, train, step, c);
    }
}

// The counters of a training that began at collection `start`, `steps` collections on.
LineCounts counts_in_train(const LineModelOptions& options, int train, int start, int steps) {
    LineCounts c = start_counts(options, train);
    for (int step = 1; step <= steps; ++step) add_growth(options, train, step, start + step, c);
    return c;
}

void add_counts(LineCounts& to, const LineCounts& more) {
    for (auto [a, b] : {std::pair{&to.fec, &more.fec}, std::pair{&to.crc, &more.crc},
                        std::pair{&to.hec, &more.hec}, std::pair{&to.es, &more.es},
                        std::pair{&to.ses, &more.ses}, std::pair{&to.uas, &more.uas}}) {
        a->down += b->down;
        a->up += b->up;
    }
}

// The router had been up this long when the simulator started, the line a little less.
std::int64_t boot_uptime_seconds(std::uint32_t seed) {
    return 5 * 86400 + spread_of(seed, uptime_salt, 0, 0, 0, 86400);
}

std::uint64_t boot_training_seconds(std::uint32_t seed) {
    return 38 + static_cast<std::uint64_t>(spread_of(seed, uptime_salt, 1, 0, 0, 20));
}

void apply_bitswaps(const LineModelOptions& options, std::span<const std::int32_t> down_tones,
                    int collection, std::vector<std::uint8_t>& bits) {
    const auto pick = [&](int which) {
        return down_tones[mix(options.seed, bitswap_salt,
                              static_cast<std::uint32_t>(collection) * 16u +
                                  static_cast<std::uint32_t>(which)) %
                          down_tones.size()];
    };
    for (int swap = 0; swap < bitswaps_per_collection; ++swap) {
        const auto gains = static_cast<std::size_t>(pick(2 * swap));
        const auto loses = static_cast<std::size_t>(pick(2 * swap + 1));
        if (gains == loses || bits[gains] >= 15 || bits[loses] <= 2) continue;
        ++bits[gains];
        --bits[loses];
    }
}

}  // namespace

std::int32_t tone_count(LineKind kind) {
    return kind == LineKind::vdsl17a ? 4096 : 512;
}

std::span<const ToneBand> downstream_bands(LineKind kind) {
    if (kind == LineKind::vdsl17a) return vdsl_down;
    return adsl_down;
}

std::span<const ToneBand> upstream_bands(LineKind kind) {
    if (kind == LineKind::vdsl17a) return vdsl_up;
    return adsl_up;
}

bool is_downstream_tone(LineKind kind, std::int32_t tone) {
    for (const ToneBand& band : downstream_bands(kind))
        if (tone >= band.first && tone <= band.last) return true;
    return false;
}

std::string_view line_profile(LineKind kind) {
    return kind == LineKind::vdsl17a ? "17a" : "";
}

bool line_kind_named(std::string_view name, LineKind& kind) {
    if (name == "adsl2plus") {
        kind = LineKind::adsl2plus;
    } else if (name == "vdsl17a") {
        kind = LineKind::vdsl17a;
    } else {
        return false;
    }
    return true;
}

LineCollection line_collection(const LineModelOptions& options, int collection) {
    LineWalker walker(options);
    return walker.at(collection);
}

LineWalker::LineWalker(const LineModelOptions& options) : options_(options) {
    for (const ToneBand& band : downstream_bands(options.kind))
        for (std::int32_t tone = band.first; tone <= band.last; ++tone) down_tones_.push_back(tone);
    line_.kind = options.kind;
}

const LineCollection& LineWalker::at(int collection) {
    if (collection == current_) return line_;
    if (!options_.down) {
        if (current_ >= 0 && collection == current_ + 1) {
            step();
        } else {
            seek(collection);
        }
    }
    fill(collection);
    current_ = collection;
    return line_;
}

// The training of the collection and its counters, from collection 0 on.
void LineWalker::seek(int collection) {
    earlier_counts_ = {};
    int number = 0;
    int start = 0;
    for (int length = train_length(options_, 0); start + length <= collection;
         length = train_length(options_, number)) {
        add_counts(earlier_counts_, counts_in_train(options_, number, start, length - 1));
        start += length;
        ++number;
    }
    begin_train(number, start);
    counts_ = counts_in_train(options_, number, start, std::max(0, collection - start));
}

// One collection on from current_.
void LineWalker::step() {
    const int collection = current_ + 1;
    if (collection - train_start_ < train_length_) {
        add_growth(options_, line_.train, collection - train_start_, collection, counts_);
        return;
    }
    add_counts(earlier_counts_, counts_);
    begin_train(line_.train + 1, collection);
    counts_ = start_counts(options_, line_.train);
}

// The figures that stay for the whole of a training.
void LineWalker::begin_train(int number, int start) {
    const std::uint32_t seed = options_.seed;
    const auto t = static_cast<std::uint32_t>(number);
    const bool vdsl = options_.kind == LineKind::vdsl17a;
    line_.train = number;
    train_start_ = start;
    train_length_ = train_length(options_, number);
    trained_bits_ = trained_bits(options_, number);
    line_.attainable_kbps = {carried_kbps(trained_bits_, options_.kind, true),
                             carried_kbps(trained_bits_, options_.kind, false)};
    // A VDSL2 line is sold with a cap, and syncs at it when it can carry more; ADSL2+ adapts.
    const auto synced = [vdsl](std::int32_t attainable, std::int32_t cap) {
        const std::int32_t carried = attainable * 97 / 100;
        return vdsl ? std::min(carried, cap) : carried;
    };
    line_.rate_kbps = {synced(line_.attainable_kbps.down, 79999),
                       synced(line_.attainable_kbps.up, 19999)};
    line_.attenuation_tenths = {spread_of(seed, attenuation_salt, 0, 0, vdsl ? 130 : 320, 30) +
                                    spread_of(seed, attenuation_salt, t, 1, 0, 2),
                                spread_of(seed, attenuation_salt, 0, 2, vdsl ? 95 : 180, 15) +
                                    spread_of(seed, attenuation_salt, t, 3, 0, 2)};
    line_.power_tenths = {spread_of(seed, power_salt, t, 0, vdsl ? 130 : 190, 15),
                          spread_of(seed, power_salt, t, 1, vdsl ? 50 : 120, 20)};
    // Each tone's SNR has a ripple of its own, in steps of 1/16 dB.
    snr_ripple_.clear();
    for (const std::int32_t tone : down_tones_) {
        const auto r = mix(seed, snr_salt + t * 16, static_cast<std::uint32_t>(tone)) % 17;
        snr_ripple_.push_back((static_cast<double>(r) - 8.0) / 16.0);
    }
}

// The figures of the collection, from its training's and its counters.
void LineWalker::fill(int collection) {
    const std::uint32_t seed = options_.seed;
    const bool vdsl = options_.kind == LineKind::vdsl17a;
    LineCollection& line = line_;
    line.collection = collection;
    line.uptime_seconds = boot_uptime_seconds(seed) + seconds_per_collection * collection;
    if (options_.down) {
        const auto unavailable = static_cast<std::uint64_t>(line.uptime_seconds);
        line.counts.uas = {unavailable, unavailable};
        line.total_counts = line.counts;
        return;
    }
    line.showtime = true;
    const auto t = static_cast<std::uint32_t>(line.train);
    line.collection_in_train = collection - train_start_;
    line.retrained = line.train > 0 && line.collection_in_train == 0;
    line.link_seconds = line.train == 0 ? line.uptime_seconds -
                                              static_cast<std::int64_t>(boot_training_seconds(seed))
                                        : seconds_per_collection * line.collection_in_train +
                                              spread_of(seed, uptime_salt, t, 2, 1, 14);
    line.bitswaps = (line.train == 0 ? 2000 + spread_of(seed, uptime_salt, 3, 0, 0, 1000) : 0) +
                    std::int64_t{bitswaps_per_collection} * line.collection_in_train;
    line.bits = trained_bits_;
    if (line.collection_in_train > 0) apply_bitswaps(options_, down_tones_, collection, line.bits);

    const auto c = static_cast<std::uint32_t>(collection);
    line.snr_margin_tenths = {
        spread_of(seed, margin_salt, t, 0, 60, 10) + spread_of(seed, jitter_salt, c, 0, -3, 7),
        spread_of(seed, margin_salt, t, 1, vdsl ? 85 : 75, 20) +
            spread_of(seed, jitter_salt, c, 1, -2, 5)};
    if (options_.error_bursts) {
        // The noise that brings the errors takes some of the margin.
        const bool burst = in_burst(options_, collection);
        line.snr_margin_tenths.down -=
            (in_evening(options_, collection) ? 6 : 0) + (burst ? 15 : 0);
        line.snr_margin_tenths.up -= burst ? 5 : 0;
    }

    line.counts = counts_;
    line.total_counts = counts_;
    add_counts(line.total_counts, earlier_counts_);
    const std::uint64_t outage = boot_training_seconds(seed) +
                                 retrain_outage_seconds * static_cast<std::uint64_t>(line.train);
    line.total_counts.uas.down += outage;
    line.total_counts.uas.up += outage;

    // The SNR a tone's bits need (about 3 dB a bit, with the coding gap), the margin, and the
    // tone's ripple; in steps of 1/16 dB, as the chipset reports it.
    line.snr_db.assign(line.bits.size(), 0.0);
    const double margin = line.snr_margin_tenths.down / 10.0;
    for (std::size_t k = 0; k < down_tones_.size(); ++k) {
        const auto tone = static_cast<std::size_t>(down_tones_[k]);
        const double ripple = snr_ripple_[k];
        const double snr = line.bits[tone] == 0
                               ? 4.0 + ripple
                               : 3.0103 * line.bits[tone] + 9.75 + margin - 6.0 + ripple;
        line.snr_db[tone] = std::round(std::max(snr, 0.0) * 16.0) / 16.0;
    }
}

int next_retrain(const LineModelOptions& options, int from) {
    if (options.down) return -1;
    int start = 0;
    for (int number = 0; start < from || number == 0; ++number)
        start += train_length(options, number);
    return start;
}

std::vector<std::uint8_t> downstream_bits(const LineCollection& line) {
    std::vector<std::uint8_t> bits = line.bits;
    for (std::size_t tone = 0; tone < bits.size(); ++tone) {
        if (!is_downstream_tone(line.kind, static_cast<std::int32_t>(tone))) bits[tone] = 0;
    }
    return bits;
}

std::string decibel_text(std::int32_t tenths) {
    const std::int32_t magnitude = tenths < 0 ? -tenths : tenths;
    char text[24];
    std::snprintf(text, sizeof text, "%s%d.%d", tenths < 0 ? "-" : "",
                  static_cast<int>(magnitude / 10), static_cast<int>(magnitude % 10));
    return text;
}
