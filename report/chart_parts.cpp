// The parts the report's charts share.
#include "report/chart_parts.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Bits 0 to 15, dark to light, readable in print and by most colour-blind readers.
constexpr std::array<const char*, 16> heat_colours = {
    "#440154", "#481a6c", "#472f7d", "#414487", "#39568c", "#31688e", "#2a788e", "#23888e",
    "#1f988b", "#22a884", "#35b779", "#54c568", "#7ad151", "#a5db36", "#d2e21b", "#fde725"};

}  // namespace

Plot time_plot(const ReportPeriod& period, double height) {
    Plot plot;
    plot.height = height;
    plot.x_low = period.buckets.start;
    plot.x_high = period.buckets.slice_start(period.buckets.count);
    return plot;
}

std::string bucket_label(const TimeSlices& slices, WallMinute minute) {
    return slices.width < minutes_per_day ? format_stamp(minute) : format_day(minute);
}

std::string time_labels(const Plot& plot, const TimeSlices& slices, std::int32_t labels) {
    std::string svg;
    const std::int32_t step = std::max(1, slices.count / std::max(labels, 1));
    for (std::int32_t slice = 0; slice < slices.count; slice += step) {
        if (slices.count - slice < step / 2 && slice > 0) break;
        svg += x_label(plot, slices.slice_start(slice),
                       bucket_label(slices, slices.slice_start(slice)));
    }
    return svg;
}

std::string gap_bands(const Plot& plot, const std::vector<Gap>& gaps) {
    std::string svg;
    double band_start = -1, band_end = -1;
    const auto flush = [&] {
        if (band_start < 0) return;
        svg += "<rect class=\"gap\" x=\"" + number_text(band_start) + "\" y=\"" +
               number_text(plot.top) + "\" width=\"" +
               number_text(std::max(band_end - band_start, 0.5)) + "\" height=\"" +
               number_text(plot.inner_height()) + "\"/>";
    };
    for (const Gap& gap : gaps) {
        const double from = std::clamp(plot.x(gap.from), plot.left, plot.left + plot.inner_width());
        const double to =
            std::clamp(plot.x(gap.from + gap.minutes), plot.left, plot.left + plot.inner_width());
        if (band_start >= 0 && from <= band_end + 1) {
            band_end = std::max(band_end, to);
            continue;
        }
        flush();
        band_start = from;
        band_end = to;
    }
    flush();
    return svg;
}

std::vector<double> bucket_starts(const TimeSlices& slices) {
    std::vector<double> starts;
    for (std::int32_t k = 0; k < slices.count; ++k) starts.push_back(slices.slice_start(k));
    return starts;
}

std::vector<double> bucket_middles(const TimeSlices& slices) {
    std::vector<double> middles;
    for (std::int32_t k = 0; k < slices.count; ++k)
        middles.push_back(slices.slice_start(k) + slices.width / 2.0);
    return middles;
}

BucketLines bucket_lines(const std::vector<BucketValues>& buckets) {
    BucketLines lines;
    for (const BucketValues& bucket : buckets) {
        if (bucket.count == 0) {
            lines.lows.push_back(no_value);
            lines.highs.push_back(no_value);
            lines.means.push_back(no_value);
            continue;
        }
        lines.lows.push_back(bucket.lowest);
        lines.highs.push_back(bucket.highest);
        lines.means.push_back(bucket.sum / static_cast<double>(bucket.count));
        lines.lowest = lines.any ? std::min(lines.lowest, bucket.lowest) : bucket.lowest;
        lines.highest = lines.any ? std::max(lines.highest, bucket.highest) : bucket.highest;
        lines.any = true;
    }
    return lines;
}

Plot heat_plot(const ReportPeriod& period, double y_high) {
    Plot plot;
    plot.height = 300;
    plot.x_low = period.heat.start;
    plot.x_high = period.heat.slice_start(period.heat.count);
    plot.y_low = 0;
    plot.y_high = y_high;
    return plot;
}

std::string heat_key() {
    std::string html;
    for (std::size_t bits = 0; bits < heat_colours.size(); bits += 3)
        html += "<span class=\"key\" style=\"background:" + std::string(heat_colours[bits]) +
                "\"></span>" + decimal(static_cast<std::int64_t>(bits));
    return html + "<span class=\"key\" style=\"background:#e8e8e8\"></span>no data</p>";
}

int heat_colour(double sum, std::int64_t count) {
    if (count == 0) return -1;
    const double mean = sum / static_cast<double>(count);
    return std::clamp(static_cast<int>(std::lround(mean)), 0, 15);
}

std::string heat_cells(const Plot& plot, std::size_t columns, std::size_t rows,
                       const std::function<int(std::size_t, std::size_t)>& colour_at) {
    std::string svg = "<rect class=\"nodata\" x=\"" + number_text(plot.left) + "\" y=\"" +
                      number_text(plot.top) + "\" width=\"" + number_text(plot.inner_width()) +
                      "\" height=\"" + number_text(plot.inner_height()) + "\"/>";
    // One path per colour, in cell units: runs of equal colour along each row become one cell.
    std::array<std::string, heat_colours.size()> paths;
    for (std::size_t row = 0; row < rows; ++row) {
        const std::size_t drawn_row = rows - 1 - row;
        std::size_t column = 0;
        while (column < columns) {
            const int colour = colour_at(column, row);
            std::size_t end = column + 1;
            while (end < columns && colour_at(end, row) == colour) ++end;
            if (colour >= 0) {
                const std::string run = decimal(static_cast<std::int64_t>(end - column));
                paths[static_cast<std::size_t>(colour)]
                    .append("M")
                    .append(decimal(static_cast<std::int64_t>(column)))
                    .append(" ")
                    .append(decimal(static_cast<std::int64_t>(drawn_row)))
                    .append("h")
                    .append(run)
                    .append("v1h-")
                    .append(run)
                    .append("z");
            }
            column = end;
        }
    }
    svg += "<g shape-rendering=\"crispEdges\" transform=\"translate(" + number_text(plot.left) +
           " " + number_text(plot.top) + ") scale(" +
           number_text(plot.inner_width() / static_cast<double>(columns), 4) + " " +
           number_text(plot.inner_height() / static_cast<double>(rows), 4) + ")\">";
    for (std::size_t colour = 0; colour < paths.size(); ++colour)
        if (!paths[colour].empty())
            svg += "<path fill=\"" + std::string(heat_colours[colour]) + "\" d=\"" + paths[colour] +
                   "\"/>";
    return svg + "</g>";
}
