// The report page of a Broadcom or DrayTek line, made from its line log and tones log: one
// self-contained HTML file with inline SVG charts, no script and no external resources, in the
// style of the classic page and laid out to print on A4. The same figures always give the same
// bytes.
#pragma once

#include <string>
#include <vector>

#include "report/read_line_logs.h"

std::string line_report_html(const LineLogsFigures& figures);

// The page's charts, sections 2 to 7, drawn in line_charts.cpp; `gaps` are those of the page's
// timeline.
std::string line_charts_html(const LineLogsFigures& figures, const std::vector<Gap>& gaps);
