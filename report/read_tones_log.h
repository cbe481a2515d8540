// Reads the tones log (kelvatones.csv) into its aggregates: the loading rebuilt from its bits and
// bitswap lines, collection by collection, and the SNR per tone.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "report/line_figures.h"
#include "report/log_lines.h"

// `split_at`: where a second thread takes over (at the first bits line after it); 0 reads the log
// on one thread, -1 splits a large log in the middle.
LogRead read_tones_log(const std::string& path, const ReportPeriod& period,
                       TonesLogFigures& figures, std::atomic<std::int64_t>* bytes_read = nullptr,
                       std::int64_t split_at = -1);
