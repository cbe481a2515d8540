// Joining the bits per tone of a log read in two parts, for both readers of a log of bits per
// tone (the classic bins log and the tones log).
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// The later part's lowest, highest and latest bits per tone (-1 where none) and its changes,
// added to the earlier part's, with a change across the seam wherever the earlier part's last
// loading and the later part's first differ (either empty: no seam). `Bits` has the vectors
// lowest, highest, latest (std::int32_t) and changes (std::int64_t), one value a tone; parts of
// another tone count are not joined.
template <class Bits>
void join_tone_bits(Bits& earlier, const Bits& later, const std::vector<std::int32_t>& last_before,
                    const std::vector<std::int32_t>& first_after) {
    const std::size_t tones = earlier.lowest.size();
    if (later.lowest.size() != tones) return;
    const bool seam = !last_before.empty() && !first_after.empty();
    for (std::size_t tone = 0; tone < tones; ++tone) {
        if (later.lowest[tone] >= 0)
            earlier.lowest[tone] = earlier.lowest[tone] < 0
                                       ? later.lowest[tone]
                                       : std::min(earlier.lowest[tone], later.lowest[tone]);
        earlier.highest[tone] = std::max(earlier.highest[tone], later.highest[tone]);
        if (later.latest[tone] >= 0) earlier.latest[tone] = later.latest[tone];
        earlier.changes[tone] += later.changes[tone];
        const std::int32_t before = seam ? last_before[tone] : -1;
        const std::int32_t after = seam ? first_after[tone] : -1;
        if (before >= 0 && after >= 0 && before != after) ++earlier.changes[tone];
    }
}
