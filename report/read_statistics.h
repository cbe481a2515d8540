// Reads the statistics log into its aggregates: counter changes, collections over time, the
// worst CRC hour and the status reply's columns.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "report/log_figures.h"
#include "report/log_lines.h"

LogRead read_statistics(const std::string& path, const ReportPeriod& period,
                        StatisticsFigures& figures,
                        std::atomic<std::int64_t>* bytes_read = nullptr);
