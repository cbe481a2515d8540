// The charts over the tones: bit loading, loading changes and the heat map of bits per tone over
// time.
#include <algorithm>
#include <array>
#include <cmath>

#include "report/report_sections.h"

namespace {

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
    html += heat_key();
    if (bins.spacings.collections() == 0 || bins.tones == 0)
        return html + missing_log_note("bins log");
    const Plot plot = heat_plot(period, bins.tones);
    const auto tones = static_cast<std::size_t>(bins.tones);
    std::string svg = chart_start(plot, "Bits per tone over time");
    svg += heat_cells(plot, static_cast<std::size_t>(period.heat.count), tones,
                      [&](std::size_t column, std::size_t tone) {
                          return heat_colour(
                              static_cast<double>(bins.heat_sums[column * tones + tone]),
                              bins.heat_counts[column * tones + tone]);
                      });
    svg += time_labels(plot, period.heat) + chart_end();
    return html + svg + "</section>\n";
}
