// The charts over the tones: bit loading, loading changes and the heat map of bits per tone over
// time.
#include <algorithm>
#include <array>
#include <cmath>

#include "report/report_sections.h"

namespace {

// Bits 0 to 15, dark to light, readable in print and by most colour-blind readers.
constexpr std::array<const char*, 16> heat_colours = {
    "#440154", "#481a6c", "#472f7d", "#414487", "#39568c", "#31688e", "#2a788e", "#23888e",
    "#1f988b", "#22a884", "#35b779", "#54c568", "#7ad151", "#a5db36", "#d2e21b", "#fde725"};

std::string tone_labels(const Plot& plot, const BinsFigures& bins) {
    std::string svg;
    for (std::int32_t tone = 0; tone < bins.tones; tone += 32)
        svg += x_label(plot, tone,
                       decimal(bins.frequencies_khz[static_cast<std::size_t>(tone)]) + " kHz");
    return svg;
}

Plot tone_plot(const BinsFigures& bins, double height) {
    Plot plot;
    plot.height = height;
    plot.x_low = 0;
    plot.x_high = std::max(bins.tones - 1, 1);
    return plot;
}

}  // namespace

std::string loading_section(const BinsFigures& bins) {
    std::string html =
        "<section><h2>4. Bit loading per tone</h2><p class=\"note\">The latest "
        "collection as a red line; the band spans the lowest and highest over the "
        "period.</p>";
    if (bins.spacings.collections() == 0 || bins.tones == 0)
        return html + missing_log_note("bins log");
    std::vector<double> tones, lows, highs, latest;
    double highest = 0;
    for (std::size_t tone = 0; tone < static_cast<std::size_t>(bins.tones); ++tone) {
        tones.push_back(static_cast<double>(tone));
        const bool seen = bins.lowest[tone] >= 0;
        lows.push_back(seen ? bins.lowest[tone] : no_value);
        highs.push_back(seen ? bins.highest[tone] : no_value);
        latest.push_back(bins.latest[tone] >= 0 ? bins.latest[tone] : no_value);
        highest = std::max<double>(highest, bins.highest[tone]);
    }
    Plot plot = tone_plot(bins, 170);
    fit_y(plot, 0, std::max(highest, 15.0), true);
    return html + chart_start(plot, "Bits per tone") + band(plot, tones, lows, highs, "band") +
           line(plot, tones, latest, "latest") + tone_labels(plot, bins) + chart_end() +
           "</section>\n";
}

std::string changes_section(const BinsFigures& bins) {
    std::string html =
        "<section><h2>5. Loading changes per tone</h2><p class=\"note\">How many "
        "collections loaded the tone with a different bit count than the "
        "collection before: a tone that changes often meets interference.</p>";
    if (bins.spacings.collections() == 0 || bins.tones == 0)
        return html + missing_log_note("bins log");
    std::vector<double> starts, values;
    double highest = 0;
    for (std::size_t tone = 0; tone < static_cast<std::size_t>(bins.tones); ++tone) {
        starts.push_back(static_cast<double>(tone) - 0.5);
        values.push_back(static_cast<double>(bins.changes[tone]));
        highest = std::max(highest, values.back());
    }
    Plot plot = tone_plot(bins, 140);
    plot.x_low = -0.5;
    plot.x_high = bins.tones - 0.5;
    fit_y(plot, 0, highest, true);
    return html + chart_start(plot, "Loading changes per tone") +
           bars(plot, starts, 1, values, "bar") + tone_labels(plot, bins) + chart_end() +
           "</section>\n";
}

std::string heat_map_section(const BinsFigures& bins, const ReportPeriod& period) {
    std::string html =
        "<section><h2>6. Bits per tone over time</h2><p class=\"note\">Each column "
        "is " +
        decimal(period.heat.width) +
        " min, each row a tone (the lowest "
        "frequency at the bottom); the colour is the mean bit count:";
    for (std::size_t bits = 0; bits < heat_colours.size(); bits += 3)
        html += "<span class=\"key\" style=\"background:" + std::string(heat_colours[bits]) +
                "\"></span>" + decimal(static_cast<std::int64_t>(bits));
    html += "<span class=\"key\" style=\"background:#e8e8e8\"></span>no data</p>";
    if (bins.spacings.collections() == 0 || bins.tones == 0)
        return html + missing_log_note("bins log");
    Plot plot = tone_plot(bins, 300);
    plot.x_low = period.heat.start;
    plot.x_high = period.heat.slice_start(period.heat.count);
    plot.y_low = 0;
    plot.y_high = bins.tones;
    std::string svg = chart_start(plot, "Bits per tone over time");
    svg += "<rect class=\"nodata\" x=\"" + number_text(plot.left) + "\" y=\"" +
           number_text(plot.top) + "\" width=\"" + number_text(plot.inner_width()) +
           "\" height=\"" + number_text(plot.inner_height()) + "\"/>";
    // One path per colour, in cell units: runs of equal colour along each tone become one cell.
    const auto columns = static_cast<std::size_t>(period.heat.count);
    const auto tones = static_cast<std::size_t>(bins.tones);
    std::array<std::string, heat_colours.size()> paths;
    for (std::size_t tone = 0; tone < tones; ++tone) {
        const std::size_t row = tones - 1 - tone;
        std::size_t column = 0;
        while (column < columns) {
            const auto colour_at = [&](std::size_t at) -> int {
                const std::int64_t count = bins.heat_counts[at * tones + tone];
                if (count == 0) return -1;
                const double mean = static_cast<double>(bins.heat_sums[at * tones + tone]) / count;
                return std::clamp(static_cast<int>(std::lround(mean)), 0, 15);
            };
            const int colour = colour_at(column);
            std::size_t end = column + 1;
            while (end < columns && colour_at(end) == colour) ++end;
            if (colour >= 0) {
                const std::string run = decimal(static_cast<std::int64_t>(end - column));
                paths[static_cast<std::size_t>(colour)]
                    .append("M")
                    .append(decimal(static_cast<std::int64_t>(column)))
                    .append(" ")
                    .append(decimal(static_cast<std::int64_t>(row)))
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
           number_text(plot.inner_height() / static_cast<double>(tones), 4) + ")\">";
    for (std::size_t colour = 0; colour < paths.size(); ++colour)
        if (!paths[colour].empty())
            svg += "<path fill=\"" + std::string(heat_colours[colour]) + "\" d=\"" + paths[colour] +
                   "\"/>";
    svg += "</g>" + time_labels(plot, period.heat) + chart_end();
    return html + svg + "</section>\n";
}
