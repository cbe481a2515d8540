// The report page: one self-contained HTML file with inline SVG charts, no script and no
// external resources, laid out to print on A4. The same figures always give the same bytes.
#pragma once

#include <string>

#include "report/read_logs.h"

std::string html_report(const LogFigures& figures);
