// The spacings between collections: median, gaps, times that went backwards.
#include "report/spacings.h"

#include <algorithm>

void Spacings::add(WallMinute stamp) {
    if (collections_++ == 0) {
        first_ = last_ = stamp;
        return;
    }
    const std::int32_t spacing = stamp - last_;
    last_ = stamp;
    if (spacing >= 0 && spacing <= counted_minutes)
        ++counts_[static_cast<std::size_t>(spacing)];
    else
        ++rare_counts_[spacing];
    if (spacing < 0) ++backwards_;
    if (spacing < candidate_floor_) return;
    candidates_.push_back({stamp - spacing, spacing});
    keep_candidates_bounded();
}

void Spacings::add_after_clock_change(WallMinute stamp) {
    if (collections_++ == 0) first_ = stamp;
    last_ = stamp;
}

void Spacings::keep_candidates_bounded() {
    // Too many long spacings to keep: most of them are then the usual spacing, not gaps, so the
    // floor doubles and the shorter candidates go.
    while (candidates_.size() >= candidate_limit) {
        candidate_floor_ *= 2;
        std::erase_if(candidates_, [&](const Gap& gap) { return gap.minutes < candidate_floor_; });
    }
}

void Spacings::join(const Spacings& later, bool clock_changed) {
    if (later.collections_ == 0) return;
    if (collections_ == 0) {
        *this = later;
        return;
    }
    if (clock_changed)
        add_after_clock_change(later.first_);
    else
        add(later.first_);  // the spacing across the seam
    collections_ += later.collections_ - 1;
    backwards_ += later.backwards_;
    last_ = later.last_;
    for (std::size_t spacing = 0; spacing < counts_.size(); ++spacing)
        counts_[spacing] += later.counts_[spacing];
    for (const auto& [spacing, count] : later.rare_counts_) rare_counts_[spacing] += count;
    candidate_floor_ = std::max(candidate_floor_, later.candidate_floor_);
    std::erase_if(candidates_, [&](const Gap& gap) { return gap.minutes < candidate_floor_; });
    for (const Gap& gap : later.candidates_)
        if (gap.minutes >= candidate_floor_) candidates_.push_back(gap);
    keep_candidates_bounded();
}

std::int32_t Spacings::median() const {
    const std::int64_t total = collections_ - 1;
    if (total < 1) return -1;
    std::int64_t remaining = (total - 1) / 2;  // spacings before the median, in sorted order
    auto below_zero = rare_counts_.begin();
    for (; below_zero != rare_counts_.end() && below_zero->first < 0; ++below_zero) {
        if (remaining < below_zero->second) return below_zero->first;
        remaining -= below_zero->second;
    }
    for (std::int32_t spacing = 0; spacing <= counted_minutes; ++spacing) {
        const std::int64_t count = counts_[static_cast<std::size_t>(spacing)];
        if (remaining < count) return spacing;
        remaining -= count;
    }
    for (auto rare = below_zero; rare != rare_counts_.end(); ++rare) {
        if (remaining < rare->second) return rare->first;
        remaining -= rare->second;
    }
    return -1;
}

std::vector<Gap> Spacings::gaps() const {
    const std::int32_t median_minutes = median();
    std::vector<Gap> gaps;
    if (median_minutes < 0) return gaps;
    const std::int64_t longest_usual = 2 * static_cast<std::int64_t>(median_minutes) + 1;
    for (const Gap& candidate : candidates_)
        if (candidate.minutes > longest_usual) gaps.push_back(candidate);
    return gaps;
}

std::int64_t Spacings::missing(const Gap& gap) const {
    const std::int64_t median_minutes = std::max<std::int32_t>(median(), 1);
    return (2 * static_cast<std::int64_t>(gap.minutes) + median_minutes) / (2 * median_minutes) - 1;
}
