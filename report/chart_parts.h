// The parts the report's charts share: a chart over the time buckets with its gaps shaded and its
// labels, the buckets' lowest, highest and mean, and the heat map's cells.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "report/log_figures.h"
#include "report/svg_chart.h"
#include "report/time_axis.h"

// A chart over the period's time buckets; x is in wall-clock minutes.
Plot time_plot(const ReportPeriod& period, double height);

// A bucket's start as a label: its day and time, or its day alone for buckets of a day or more.
std::string bucket_label(const TimeSlices& slices, WallMinute minute);

// The x axis labels of a chart over time, about `labels` of them.
std::string time_labels(const Plot& plot, const TimeSlices& slices, std::int32_t labels = 6);

// The gaps as shaded bands over the whole height, merged where they touch on the page.
std::string gap_bands(const Plot& plot, const std::vector<Gap>& gaps);

std::vector<double> bucket_starts(const TimeSlices& slices);
std::vector<double> bucket_middles(const TimeSlices& slices);

// Lowest, highest and mean of each bucket; NaN where the bucket holds nothing.
struct BucketLines {
    std::vector<double> lows, highs, means;
    double lowest = 0, highest = 0;
    bool any = false;
};
BucketLines bucket_lines(const std::vector<BucketValues>& buckets);

// The heat map's chart: x over the period's heat columns, y from 0 up to `y_high`.
Plot heat_plot(const ReportPeriod& period, double y_high);

// The heat map's key, from its first colour swatch to the end of the note it ends.
std::string heat_key();

// The colour of a heat map cell holding `sum` bits over `count` values: its mean bit count
// rounded, 0 to 15; -1 when the cell holds nothing.
int heat_colour(double sum, std::int64_t count);

// The heat map's cells, from the backdrop of no data to the end of their group: one path per
// colour, runs of equal colour along a row as one cell. `colour_at(column, row)` gives a cell's
// colour as heat_colour does, row 0 drawn at the bottom.
std::string heat_cells(const Plot& plot, std::size_t columns, std::size_t rows,
                       const std::function<int(std::size_t, std::size_t)>& colour_at);
