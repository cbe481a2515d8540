// Reads the bins log into its aggregates: bits per tone (lowest, highest, latest, changes, heat
// map) and the total bits over time. Tones are read by position.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "report/log_figures.h"
#include "report/log_lines.h"

// A log of 64 MiB or more is read in two halves on two threads, which give the same figures as
// one reader would: the header is read once, and the second reader starts at the first line that
// begins at or after the middle. `split_at`, when not -1, gives that byte instead (0: no split).
LogRead read_bins(const std::string& path, const ReportPeriod& period, BinsFigures& figures,
                  std::atomic<std::int64_t>* bytes_read = nullptr, std::int64_t split_at = -1);

// An older layout glues the text of the last tone to the total ("0573" for 0 bits and 573): the
// total that makes the two parts agree with the other tones' sum; -1 when no split does.
std::int64_t glued_total(std::string_view column, std::int64_t other_tones_sum);
