// Drawing primitives for the report's inline SVG charts.
#include "report/svg_chart.h"

#include <algorithm>
#include <cmath>

double Plot::x(double value) const {
    const double span = x_high > x_low ? x_high - x_low : 1;
    return left + (value - x_low) / span * inner_width();
}

double Plot::y(double value) const {
    const double span = y_high > y_low ? y_high - y_low : 1;
    return top + inner_height() - (value - y_low) / span * inner_height();
}

namespace {

// The widest a character of the 9px labels is (a digit of DejaVu Sans is 5.7px), so that a label
// of n characters takes no more than n times this.
constexpr double label_character_px = 5.8;

std::string point(double x, double y) {
    return number_text(x) + "," + number_text(y);
}

}  // namespace

double round_up(double value) {
    if (value <= 0) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double step : {1.0, 2.0, 5.0, 10.0})
        if (step * power >= value) return step * power;
    return 10 * power;
}

void fit_y(Plot& plot, double lowest, double highest, bool from_zero) {
    // Far beyond any real value, and far enough from the largest double that the spans and
    // margins below stay finite.
    constexpr double farthest = 1e300;
    lowest = std::isnan(lowest) ? 0 : std::clamp(lowest, -farthest, farthest);
    highest = std::isnan(highest) ? 0 : std::clamp(highest, -farthest, farthest);
    if (from_zero) {
        plot.y_low = std::min(0.0, lowest);
        plot.y_high = round_up(highest);
        return;
    }
    const double margin = std::max((highest - lowest) * 0.1, 1.0);
    plot.y_low = std::floor(lowest - margin);
    plot.y_high = std::ceil(highest + margin);
}

std::string chart_start(const Plot& plot, std::string_view title) {
    std::string svg = "<svg viewBox=\"0 0 " + number_text(plot.width) + " " +
                      number_text(plot.height) + "\" role=\"img\"><title>" + escaped(title) +
                      "</title>";
    svg += "<rect class=\"frame\" x=\"" + number_text(plot.left) + "\" y=\"" +
           number_text(plot.top) + "\" width=\"" + number_text(plot.inner_width()) +
           "\" height=\"" + number_text(plot.inner_height()) + "\"/>";
    // The labels end 4 units left of the frame; what is left of the margin holds them.
    const auto label_width =
        static_cast<std::size_t>(std::max(0.0, (plot.left - 5) / label_character_px));
    for (const double value : {plot.y_low, (plot.y_low + plot.y_high) / 2, plot.y_high}) {
        svg += "<text class=\"yl\" x=\"" + number_text(plot.left - 4) + "\" y=\"" +
               number_text(plot.y(value) + 3) + "\">" + short_number(value, label_width) +
               "</text>";
    }
    return svg;
}

std::string chart_end() {
    return "</svg>\n";
}

std::string x_label(const Plot& plot, double at, std::string_view text) {
    return "<text class=\"xl\" x=\"" + number_text(plot.x(at)) + "\" y=\"" +
           number_text(plot.height - 6) + "\">" + escaped(text) + "</text>";
}

std::string box(const Plot& plot, double x0, double x1, double y0, double y1,
                std::string_view css_class) {
    const double left = plot.x(x0), right = plot.x(x1);
    const double top = plot.y(y1), bottom = plot.y(y0);
    return "<rect class=\"" + std::string(css_class) + "\" x=\"" + number_text(left) + "\" y=\"" +
           number_text(top) + "\" width=\"" + number_text(std::max(right - left, 0.3)) +
           "\" height=\"" + number_text(std::max(bottom - top, 0.0)) + "\"/>";
}

std::string line(const Plot& plot, const std::vector<double>& xs, const std::vector<double>& ys,
                 std::string_view css_class) {
    std::string svg;
    std::string points;
    const auto flush = [&] {
        if (!points.empty())
            svg += "<polyline class=\"" + std::string(css_class) + "\" points=\"" + points + "\"/>";
        points.clear();
    };
    for (std::size_t k = 0; k < xs.size(); ++k) {
        if (std::isnan(ys[k])) {
            flush();
            continue;
        }
        if (!points.empty()) points += ' ';
        points += point(plot.x(xs[k]), plot.y(ys[k]));
    }
    flush();
    return svg;
}

std::string band(const Plot& plot, const std::vector<double>& xs, const std::vector<double>& lows,
                 const std::vector<double>& highs, std::string_view css_class) {
    std::string svg;
    std::size_t k = 0;
    while (k < xs.size()) {
        if (std::isnan(lows[k])) {
            ++k;
            continue;
        }
        std::size_t end = k;
        while (end < xs.size() && !std::isnan(lows[end])) ++end;
        std::string points;
        for (std::size_t j = k; j < end; ++j)
            points += point(plot.x(xs[j]), plot.y(highs[j])) + " ";
        for (std::size_t j = end; j-- > k;) points += point(plot.x(xs[j]), plot.y(lows[j])) + " ";
        points.pop_back();
        svg += "<polygon class=\"" + std::string(css_class) + "\" points=\"" + points + "\"/>";
        k = end;
    }
    return svg;
}

// Bars as one path: each bar from 0 up to its value, at x from starts[k] to starts[k] + width.
std::string bars(const Plot& plot, const std::vector<double>& starts, double width,
                 const std::vector<double>& values, std::string_view css_class) {
    std::string path;
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (values[k] <= 0) continue;
        const double left = plot.x(starts[k]);
        const double bar_width = std::max(plot.x(starts[k] + width) - left - 0.2, 0.4);
        path.append("M").append(number_text(left)).append(" ").append(number_text(plot.y(0)));
        path.append("V").append(number_text(plot.y(values[k])));
        path.append("h").append(number_text(bar_width));
        path.append("V").append(number_text(plot.y(0))).append("z");
    }
    return path.empty() ? ""
                        : "<path class=\"" + std::string(css_class) + "\" d=\"" + path + "\"/>";
}
