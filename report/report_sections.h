// The sections of the report page, each a <section> of HTML, and the parts they share. The page
// and its key figures are drawn in html_report.cpp, the charts over time in time_charts.cpp, the
// charts over the tones in tone_charts.cpp; the parts of the charts are in chart_parts.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/chart_parts.h"
#include "report/key_figures.h"
#include "report/read_logs.h"

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

// The page from its doctype to its heading and the period under it (`timeline`'s first to last
// collection): the style sheet, with `more_style` (rules of its own) at its end.
std::string page_start(std::string_view title, std::string_view more_style,
                       const Spacings& timeline);

// "1 error", "2 errors".
std::string counted(std::int64_t count, const char* one, const char* many);

// The key figures' rows of the period, collections (`collections` says how many), the typical
// interval and the gaps.
std::string timeline_rows(const Spacings& timeline, const GapTotals& gaps,
                          const std::string& collections);
// The longest gaps, at most ten, as a small table under a note; "" without gaps.
std::string longest_gaps_table(const Spacings& timeline, const std::vector<Gap>& gaps);

// A finding of the data quality section and how the report handled it.
struct QualityNote {
    std::string found, handling;
};
// How a log's stamps and columns are read, for the words of its data quality rows.
enum class LogLayout {
    classic,  // wall-clock stamps (a clock change looks like a time going back), columns by place
    named,    // stamps with their UTC offset (clock changes are told apart), columns by name
};
// The data quality rows of one log: its name, then what reading it found, ending with `notes`.
std::string quality_rows(const char* name, const LogQuality& quality, const Spacings& spacings,
                         std::int64_t not_numbers, const std::vector<QualityNote>& notes,
                         LogLayout layout = LogLayout::classic);
