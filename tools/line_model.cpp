// The simulated line: trainings of 20 to 59 collections, each with its own bit loading (and so
// its own rates), counters that grow within a training and start again small after a retrain,
// and a few bits moved between tones at each collection.
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
};

// An integer from lowest to lowest + spread - 1.
std::int32_t spread_of(std::uint32_t seed, Salt salt, std::uint32_t a, std::uint32_t b,
                       std::int32_t lowest, std::int32_t spread) {
    return lowest + static_cast<std::int32_t>(mix(seed, salt * 7919u + a, b) %
                                              static_cast<std::uint32_t>(spread));
}

struct Train {
    int number = 0;
    int start = 0;  // its first collection
};

int train_length(const LineModelOptions& options, int train) {
    return spread_of(options.seed, train_length_salt, static_cast<std::uint32_t>(train), 0,
                     std::max(1, options.train_shortest), std::max(1, options.train_spread));
}

Train train_of(const LineModelOptions& options, int collection) {
    Train train;
    while (train.start + train_length(options, train.number) <= collection) {
        train.start += train_length(options, train.number);
        ++train.number;
    }
    return train;
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
    }
    return c;
}

// What the collection `step` of a training (1 or more) adds to its counters. FEC always grows;
// errored seconds follow the CRC errors.
void add_growth(const LineModelOptions& options, int train, int step, LineCounts& c) {
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

LineCounts counts_in_train(const LineModelOptions& options, int train, int steps) {
    LineCounts c = start_counts(options, train);
    for (int step = 1; step <= steps; ++step) add_growth(options, train, step, c);
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

void apply_bitswaps(const LineModelOptions& options, int collection,
                    std::vector<std::uint8_t>& bits) {
    std::vector<std::int32_t> down_tones;
    for (const ToneBand& band : downstream_bands(options.kind))
        for (std::int32_t tone = band.first; tone <= band.last; ++tone) down_tones.push_back(tone);
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
    const std::uint32_t seed = options.seed;
    const bool vdsl = options.kind == LineKind::vdsl17a;
    LineCollection line;
    line.collection = collection;
    line.kind = options.kind;
    line.uptime_seconds = boot_uptime_seconds(seed) + seconds_per_collection * collection;
    if (options.down) {
        const auto unavailable = static_cast<std::uint64_t>(line.uptime_seconds);
        line.counts.uas = {unavailable, unavailable};
        line.total_counts = line.counts;
        return line;
    }
    line.showtime = true;
    const Train train = train_of(options, collection);
    const auto t = static_cast<std::uint32_t>(train.number);
    line.train = train.number;
    line.collection_in_train = collection - train.start;
    line.retrained = train.number > 0 && line.collection_in_train == 0;
    line.link_seconds =
        train.number == 0
            ? line.uptime_seconds - static_cast<std::int64_t>(boot_training_seconds(seed))
            : seconds_per_collection * line.collection_in_train +
                  spread_of(seed, uptime_salt, t, 2, 1, 14);
    line.bitswaps = (train.number == 0 ? 2000 + spread_of(seed, uptime_salt, 3, 0, 0, 1000) : 0) +
                    std::int64_t{bitswaps_per_collection} * line.collection_in_train;

    line.bits = trained_bits(options, train.number);
    line.attainable_kbps = {carried_kbps(line.bits, options.kind, true),
                            carried_kbps(line.bits, options.kind, false)};
    // A VDSL2 line is sold with a cap, and syncs at it when it can carry more; ADSL2+ adapts.
    const auto synced = [vdsl](std::int32_t attainable, std::int32_t cap) {
        const std::int32_t carried = attainable * 97 / 100;
        return vdsl ? std::min(carried, cap) : carried;
    };
    line.rate_kbps = {synced(line.attainable_kbps.down, 79999),
                      synced(line.attainable_kbps.up, 19999)};
    if (line.collection_in_train > 0) apply_bitswaps(options, collection, line.bits);

    const auto c = static_cast<std::uint32_t>(collection);
    line.snr_margin_tenths = {
        spread_of(seed, margin_salt, t, 0, 60, 10) + spread_of(seed, jitter_salt, c, 0, -3, 7),
        spread_of(seed, margin_salt, t, 1, vdsl ? 85 : 75, 20) +
            spread_of(seed, jitter_salt, c, 1, -2, 5)};
    line.attenuation_tenths = {spread_of(seed, attenuation_salt, 0, 0, vdsl ? 130 : 320, 30) +
                                   spread_of(seed, attenuation_salt, t, 1, 0, 2),
                               spread_of(seed, attenuation_salt, 0, 2, vdsl ? 95 : 180, 15) +
                                   spread_of(seed, attenuation_salt, t, 3, 0, 2)};
    line.power_tenths = {spread_of(seed, power_salt, t, 0, vdsl ? 130 : 190, 15),
                         spread_of(seed, power_salt, t, 1, vdsl ? 50 : 120, 20)};

    line.counts = counts_in_train(options, train.number, line.collection_in_train);
    line.total_counts = line.counts;
    for (int earlier = 0; earlier < train.number; ++earlier)
        add_counts(line.total_counts,
                   counts_in_train(options, earlier, train_length(options, earlier) - 1));
    const std::uint64_t outage = boot_training_seconds(seed) +
                                 retrain_outage_seconds * static_cast<std::uint64_t>(train.number);
    line.total_counts.uas.down += outage;
    line.total_counts.uas.up += outage;

    // The SNR a tone's bits need (about 3 dB a bit, with the coding gap), the margin, and a
    // ripple of its own; in steps of 1/16 dB, as the chipset reports it.
    line.snr_db.assign(line.bits.size(), 0.0);
    const double margin = line.snr_margin_tenths.down / 10.0;
    for (std::size_t tone = 0; tone < line.bits.size(); ++tone) {
        if (!is_downstream_tone(options.kind, static_cast<std::int32_t>(tone))) continue;
        const double ripple =
            (static_cast<double>(mix(seed, snr_salt + t * 16, static_cast<std::uint32_t>(tone)) %
                                 17) -
             8.0) /
            16.0;
        const double snr = line.bits[tone] == 0
                               ? 4.0 + ripple
                               : 3.0103 * line.bits[tone] + 9.75 + margin - 6.0 + ripple;
        line.snr_db[tone] = std::round(std::max(snr, 0.0) * 16.0) / 16.0;
    }
    return line;
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
