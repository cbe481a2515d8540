// Drawing primitives for the report's inline SVG charts: a plot area with its scales, bars,
// lines, bands and axis labels, written as text with no locale so the output is byte-stable.
#pragma once

#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "report/text_format.h"

// A y value that breaks a line or a band: nothing was collected there.
inline constexpr double no_value = std::numeric_limits<double>::quiet_NaN();

// The plot area of one chart, in the SVG's own units; x runs over [x_low, x_high], y over
// [y_low, y_high].
struct Plot {
    double width = 720, height = 150;
    double left = 52, right = 10, top = 8, bottom = 22;
    double x_low = 0, x_high = 1, y_low = 0, y_high = 1;

    double x(double value) const;
    double y(double value) const;
    double inner_width() const { return width - left - right; }
    double inner_height() const { return height - top - bottom; }
};

// 1, 2 or 5 times a power of ten, at or above `value` (1 for a value of 0 or less): a round step
// or top of a scale.
double round_up(double value);

// The y range from 0 (or the lowest value) up to a round number at or above the highest.
void fit_y(Plot& plot, double lowest, double highest, bool from_zero);

// "<svg ...>" opening with the viewBox and a title for screen readers, and the frame with the
// y axis labels at the bottom, middle and top, each a whole number in the left margin or shortened
// to fit it (short_number).
std::string chart_start(const Plot& plot, std::string_view title);
std::string chart_end();

// An x axis label centred at x value `at`.
std::string x_label(const Plot& plot, double at, std::string_view text);
// A filled rectangle between x values and y values.
std::string box(const Plot& plot, double x0, double x1, double y0, double y1,
                std::string_view css_class);

// A polyline through points (x, y); points with a NaN y break the line into pieces.
std::string line(const Plot& plot, const std::vector<double>& xs, const std::vector<double>& ys,
                 std::string_view css_class);
// A band between a lower and an upper line; NaN breaks it into pieces.
std::string band(const Plot& plot, const std::vector<double>& xs, const std::vector<double>& lows,
                 const std::vector<double>& highs, std::string_view css_class);
// Bars as one path: each bar from 0 up to its value, at x from starts[k] to starts[k] + width;
// values of 0 or less draw nothing.
std::string bars(const Plot& plot, const std::vector<double>& starts, double width,
                 const std::vector<double>& values, std::string_view css_class);
