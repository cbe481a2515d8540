// The sections of the report page, each a <section> of HTML, and the parts they share. The page
// and its key figures are drawn in html_report.cpp, the charts over time in time_charts.cpp, the
// charts over the tones in tone_charts.cpp.
#pragma once

#include <string>
#include <vector>

#include "report/read_logs.h"
#include "report/svg_chart.h"
#include "report/time_axis.h"

std::string key_figures_section(const LogFigures& figures);
std::string errors_section(const LogFigures& figures, const std::vector<Gap>& gaps);
std::string total_bits_section(const LogFigures& figures, const std::vector<Gap>& gaps);
std::string loading_section(const BinsFigures& bins);
std::string changes_section(const BinsFigures& bins);
std::string heat_map_section(const BinsFigures& bins, const ReportPeriod& period);
// `matching_note` gets how the header's labels were matched to the data's columns, for the data
// quality section.
std::string reply_columns_section(const StatisticsFigures& stats, const ReportPeriod& period,
                                  std::string& matching_note);
std::string quality_section(const LogFigures& figures, const std::string& matching_note);

// The end of a section that has nothing to draw.
std::string missing_log_note(const char* log);
// The x axis labels of a chart over time, about six of them.
std::string time_labels(const Plot& plot, const TimeSlices& slices);
