// The spacings between one collection and the next, in file order: the typical interval (their
// median), the gaps and the times that went backwards. Memory stays fixed whatever the log's size.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "report/wall_minutes.h"

struct Gap {
    WallMinute from;  // the collection before the gap
    std::int32_t minutes;
};

class Spacings {
  public:
    // The next collection's stamp, in file order.
    void add(WallMinute stamp);
    // The next collection's stamp where the clock was changed with its UTC offset (daylight
    // saving time): the jump is neither a spacing nor a gap, nor a time going backwards.
    void add_after_clock_change(WallMinute stamp);
    // Appends the spacings of the collections that follow these in the file, read apart;
    // `clock_changed` when the clock changed with its offset between the two.
    void join(const Spacings& later, bool clock_changed = false);

    std::int64_t collections() const { return collections_; }
    WallMinute first() const { return first_; }
    WallMinute last() const { return last_; }
    std::int64_t backwards() const { return backwards_; }
    // The median of the spacings in minutes (of an even count the lower middle one); -1 with
    // fewer than two collections.
    std::int32_t median() const;
    // The spacings longer than twice the median plus one minute, in file order.
    std::vector<Gap> gaps() const;
    // The collections a gap misses: round(spacing / median) - 1, with a median of 0 taken as 1.
    std::int64_t missing(const Gap& gap) const;

  private:
    void keep_candidates_bounded();

    // Spacings up to two weeks are counted in an array; rarer ones (negative, longer) in a map.
    static constexpr std::int32_t counted_minutes = 20160;
    // At most this many gap candidates are kept; beyond it the shortest are given up (see add).
    static constexpr std::size_t candidate_limit = 1 << 20;

    std::vector<std::int64_t> counts_ = std::vector<std::int64_t>(counted_minutes + 1);
    std::map<std::int32_t, std::int64_t> rare_counts_;
    std::vector<Gap> candidates_;
    std::int32_t candidate_floor_ = 2;  // a gap is longer than 2 * median + 1 >= 1 minute
    std::int64_t collections_ = 0;
    std::int64_t backwards_ = 0;
    WallMinute first_ = -1;
    WallMinute last_ = -1;
};
