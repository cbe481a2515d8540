// The key figures of the line and tones logs, as the lines the command prints on standard output
// (scripts read them, so their form is fixed).
#pragma once

#include <string>

#include "report/read_line_logs.h"

// The log that gives the period, interval and gaps: the line log, or the tones log without one.
const Spacings& line_timeline_of(const LineLogsFigures& figures);

// A decibel figure with one decimal, or two where it has them: "6.0", "-0.5", "7.25".
std::string decibel_figure(double value);

// "period: ...", "collections: ...", "retrains: ...", and the rest, each line ending in "\n".
std::string line_key_figures_text(const LineLogsFigures& figures);
