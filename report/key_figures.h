// The key figures of the logs, as the lines the command prints on standard output (scripts read
// them, so their form is fixed) and as values the report shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/read_logs.h"

// The log that gives the period, interval and gaps: the statistics log, or the bins log when
// there is no statistics log.
const Spacings& timeline_of(const LogFigures& figures);

struct GapTotals {
    std::vector<Gap> gaps;
    std::int64_t missing = 0;
};
GapTotals gap_totals(const Spacings& spacings);

// "period: ...", "collections: ...", and the rest, each line ending in "\n".
std::string key_figures_text(const LogFigures& figures);
