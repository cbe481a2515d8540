// Reads both logs of a directory, one thread each, after fixing the period from their first and
// last lines so that every aggregate can be sized before the first line is read.
#pragma once

#include <functional>
#include <string>

#include "report/log_figures.h"
#include "report/log_lines.h"

struct LogFigures {
    std::string stats_path;
    std::string bins_path;
    LogRead stats_read = LogRead::missing;
    LogRead bins_read = LogRead::missing;
    ReportPeriod period;
    StatisticsFigures stats;
    BinsFigures bins;
};

// `since` and `until` are days at 00:00 (-1: open). `progress`, when given, is called now and
// then with the percent of the logs' bytes read so far.
void read_logs(const std::string& dir, WallMinute since, WallMinute until, LogFigures& figures,
               const std::function<void(int)>& progress = {});
