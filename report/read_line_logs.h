// Reads the line log and the tones log of a directory, one thread each, after fixing the period
// from their first and last lines so that every aggregate can be sized before the first line.
#pragma once

#include <functional>
#include <string>

#include "report/line_figures.h"
#include "report/log_lines.h"

struct LineLogsFigures {
    std::string line_path;
    std::string tones_path;
    LogRead line_read = LogRead::missing;
    LogRead tones_read = LogRead::missing;
    bool classic_logs_too = false;  // kelvastats.csv or kelvabins.csv is in the directory as well
    ReportPeriod period;
    LineLogFigures line;
    TonesLogFigures tones;
};

// True when kelvaline.csv or kelvatones.csv is in `dir`.
bool has_line_logs(const std::string& dir);

// `since` and `until` are days at 00:00 (-1: open). `progress`, when given, is called now and
// then with the percent of the logs' bytes read so far.
void read_line_logs(const std::string& dir, WallMinute since, WallMinute until,
                    LineLogsFigures& figures, const std::function<void(int)>& progress = {});
