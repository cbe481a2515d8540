// The report page: key figures, six charts and the data quality, from the logs' aggregates.
#include "report/html_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "report/key_figures.h"
#include "report/reply_columns.h"
#include "report/svg_chart.h"

namespace {

constexpr double no_value = std::numeric_limits<double>::quiet_NaN();
constexpr int x_labels = 6;

constexpr const char* style = R"(<style>
@page { size: A4; margin: 12mm; }
body { font: 10pt/1.35 "DejaVu Sans", Arial, sans-serif; color: #222; margin: 0; }
main { max-width: 800px; margin: 0 auto; padding: 12px; }
h1 { font-size: 17pt; margin: 0 0 4px; }
h2 { font-size: 12pt; margin: 18px 0 4px; border-bottom: 1px solid #ccc; }
h3 { font-size: 9pt; margin: 2px 0; font-weight: normal; }
p.note { color: #555; margin: 2px 0 6px; font-size: 9pt; }
section { break-inside: avoid; page-break-inside: avoid; }
table { border-collapse: collapse; font-size: 9pt; }
td, th { padding: 2px 8px 2px 0; text-align: left; vertical-align: top; }
td.n { text-align: right; }
svg { width: 100%; height: auto; display: block; }
.small { display: grid; grid-template-columns: repeat(3, 1fr); gap: 6px 10px; }
.small div { break-inside: avoid; page-break-inside: avoid; }
.frame { fill: #fafafa; stroke: #999; stroke-width: 0.5; }
.gap { fill: #999; fill-opacity: 0.45; }
.crc { fill: #c0392b; } .fec { fill: #2e86c1; } .hec { fill: #8e44ad; } .bar { fill: #1e8449; }
.band { fill: #5dade2; fill-opacity: 0.4; stroke: none; }
.mean { fill: none; stroke: #1a5276; stroke-width: 1; }
.latest { fill: none; stroke: #c0392b; stroke-width: 1.2; }
.yl { font-size: 9px; text-anchor: end; fill: #444; }
.xl { font-size: 9px; text-anchor: middle; fill: #444; }
.nodata { fill: #e8e8e8; }
.key { display: inline-block; width: 10px; height: 10px; margin: 0 3px 0 10px; vertical-align: -1px; }
)";

// Bits 0 to 15, dark to light, readable in print and by most colour-blind readers.
constexpr std::array<const char*, 16> heat_colours = {
    "#440154", "#481a6c", "#472f7d", "#414487", "#39568c", "#31688e", "#2a788e", "#23888e",
    "#1f988b", "#22a884", "#35b779", "#54c568", "#7ad151", "#a5db36", "#d2e21b", "#fde725"};

std::string counted(std::int64_t count, const char* one, const char* many) {
    return decimal(count) + " " + (count == 1 ? one : many);
}

// Time charts run over the buckets; x is in wall-clock minutes.
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

std::string time_labels(const Plot& plot, const TimeSlices& slices) {
    std::string svg;
    const std::int32_t step = std::max(1, slices.count / x_labels);
    for (std::int32_t slice = 0; slice < slices.count; slice += step) {
        if (slices.count - slice < step / 2 && slice > 0) break;
        svg += x_label(plot, slices.slice_start(slice),
                       bucket_label(slices, slices.slice_start(slice)));
    }
    return svg;
}

// The gaps as shaded bands over the whole height, merged where they touch on the page.
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

std::string key_figures_section(const LogFigures& figures) {
    const Spacings& timeline = timeline_of(figures);
    const GapTotals gaps = gap_totals(timeline);
    std::string html = "<section><h2>1. Key figures</h2><table>";
    const auto row = [&](const std::string& name, const std::string& value) {
        html += "<tr><th>" + name + "</th><td>" + escaped(value) + "</td></tr>";
    };
    row("Period", timeline.collections() == 0
                      ? "none"
                      : format_stamp(timeline.first()) + " to " + format_stamp(timeline.last()));
    row("Collections", decimal(figures.stats.spacings.collections()) + " in the statistics log, " +
                           decimal(figures.bins.spacings.collections()) + " in the bins log");
    const std::int32_t median = timeline.median();
    row("Typical interval", median < 0 ? "none" : decimal(median) + " min (the median spacing)");
    row("Gaps", decimal(static_cast<std::int64_t>(gaps.gaps.size())) + ", " +
                    counted(gaps.missing, "collection", "collections") + " missing");
    if (figures.stats_read == LogRead::read) {
        static const char* const names[] = {"FEC", "CRC", "HEC", "NCD", "OCD"};
        std::string errors;
        for (int k = 0; k < error_counters; ++k)
            errors += std::string(k == 0 ? "" : ", ") + names[k] + " " +
                      decimal(figures.stats.error_totals[static_cast<std::size_t>(k)]);
        row("Errors (total change)", errors);
    }
    row("Worst CRC hour", figures.stats.worst_crc_hour < 0
                              ? "none"
                              : format_stamp(figures.stats.worst_crc_hour) + ", " +
                                    counted(figures.stats.worst_crc_errors, "error", "errors"));
    const BinsFigures& bins = figures.bins;
    row("Total bits", bins.total_lines == 0 ? "none"
                                            : "lowest " + decimal(bins.lowest_total) +
                                                  ", highest " + decimal(bins.highest_total) +
                                                  ", latest " + decimal(bins.latest_total));
    html += "</table>";
    if (!gaps.gaps.empty()) {
        std::vector<Gap> longest = gaps.gaps;
        std::stable_sort(longest.begin(), longest.end(),
                         [](const Gap& a, const Gap& b) { return a.minutes > b.minutes; });
        if (longest.size() > 10) longest.resize(10);
        html +=
            "<p class=\"note\">The longest gaps:</p><table><tr><th>after</th><th>until</th>"
            "<th>minutes</th><th>missing</th></tr>";
        for (const Gap& gap : longest) {
            html += "<tr><td>" + format_stamp(gap.from) + "</td><td>" +
                    format_stamp(gap.from + gap.minutes) + "</td><td class=\"n\">" +
                    decimal(gap.minutes) + "</td><td class=\"n\">" +
                    decimal(timeline.missing(gap)) + "</td></tr>";
        }
        html += "</table>";
    }
    return html + "</section>\n";
}

std::string missing_log_note(const char* log) {
    return std::string("<p class=\"note\">No ") + log + " in the period.</p></section>\n";
}

std::string errors_section(const LogFigures& figures, const std::vector<Gap>& gaps) {
    const ReportPeriod& period = figures.period;
    std::string html =
        "<section><h2>2. Errors over time</h2><p class=\"note\">The change of each "
        "counter summed per " +
        std::string(period.buckets.width < minutes_per_day ? "hour" : "day") +
        "; grey bands are gaps, where nothing was collected.</p>";
    if (figures.stats.spacings.collections() == 0) return html + missing_log_note("statistics log");
    const std::vector<double> starts = bucket_starts(period.buckets);
    for (const auto& [counter, name, css] :
         {std::tuple{crc, "CRC", "crc"}, std::tuple{fec, "FEC", "fec"},
          std::tuple{hec, "HEC", "hec"}}) {
        std::vector<double> values;
        double highest = 0;
        for (const auto& bucket : figures.stats.error_buckets) {
            values.push_back(static_cast<double>(bucket[static_cast<std::size_t>(counter)]));
            highest = std::max(highest, values.back());
        }
        Plot plot = time_plot(period, 110);
        fit_y(plot, 0, highest, true);
        html += std::string("<h3>") + name + " errors</h3>" +
                chart_start(plot, std::string(name) + " errors over time") + gap_bands(plot, gaps) +
                bars(plot, starts, period.buckets.width, values, css) +
                time_labels(plot, period.buckets) + chart_end();
    }
    return html + "</section>\n";
}

// Lowest, highest and mean of each bucket; NaN where the bucket holds nothing.
struct BucketLines {
    std::vector<double> lows, highs, means;
    double lowest = 0, highest = 0;
    bool any = false;
};

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

std::string total_bits_section(const LogFigures& figures, const std::vector<Gap>& gaps) {
    std::string html =
        "<section><h2>3. Total bits over time</h2><p class=\"note\">The bits loaded "
        "on all tones: the mean per bucket as a line, its lowest and highest as a "
        "band. A drop is a retrain.</p>";
    const BucketLines lines = bucket_lines(figures.bins.total_buckets);
    if (!lines.any) return html + missing_log_note("bins log");
    Plot plot = time_plot(figures.period, 150);
    fit_y(plot, lines.lowest, lines.highest, false);
    const std::vector<double> middles = bucket_middles(figures.period.buckets);
    return html + chart_start(plot, "Total bits over time") + gap_bands(plot, gaps) +
           band(plot, middles, lines.lows, lines.highs, "band") +
           line(plot, middles, lines.means, "mean") + time_labels(plot, figures.period.buckets) +
           chart_end() + "</section>\n";
}

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

std::string reply_columns_section(const StatisticsFigures& stats, const ReportPeriod& period,
                                  std::string& matching_note) {
    std::string html =
        "<section><h2>7. The status reply over time</h2><p class=\"note\">Each "
        "column of the router's status reply whose values are numbers (read from "
        "the start of the value: \"8128 kbps\" is 8128): the mean per bucket, with "
        "its lowest and highest as a band.</p>";
    const std::size_t data_columns = stats.quality.usual_columns > 7
                                         ? static_cast<std::size_t>(stats.quality.usual_columns) - 7
                                         : 0;
    const ColumnTitles titles = column_titles(stats.labels, data_columns);
    matching_note = titles.note;
    const std::vector<double> middles = bucket_middles(period.buckets);
    std::string charts;
    for (std::size_t k = 0; k < stats.columns.size() && k < titles.titles.size(); ++k) {
        const ReplyColumn& column = stats.columns[k];
        if (titles.titles[k].empty() || column.numbers == 0 || column.numbers < column.not_numbers)
            continue;
        const BucketLines lines = bucket_lines(column.buckets);
        Plot plot;
        plot.width = 240;
        plot.height = 100;
        plot.left = 40;
        plot.right = 6;
        plot.bottom = 16;
        plot.x_low = period.buckets.start;
        plot.x_high = period.buckets.slice_start(period.buckets.count);
        fit_y(plot, lines.lowest, lines.highest,
              lines.lowest >= 0 && lines.lowest < lines.highest / 2);
        charts += "<div><h3>" + escaped(titles.titles[k]) + ": " + number_text(lines.lowest, 2) +
                  (lines.highest > lines.lowest ? " to " + number_text(lines.highest, 2) : "") +
                  "</h3>" + chart_start(plot, titles.titles[k]) +
                  band(plot, middles, lines.lows, lines.highs, "band") +
                  line(plot, middles, lines.means, "mean") +
                  x_label(plot, plot.x_low, bucket_label(period.buckets, period.buckets.start)) +
                  chart_end() + "</div>";
    }
    if (charts.empty()) return html + missing_log_note("numeric status column");
    return html + "<div class=\"small\">" + charts + "</div></section>\n";
}

std::int64_t reply_not_numbers(const StatisticsFigures& stats) {
    std::int64_t count = 0;
    for (const ReplyColumn& column : stats.columns)
        if (column.numbers > 0 && column.numbers >= column.not_numbers) count += column.not_numbers;
    return count;
}

std::string quality_rows(const char* name, const LogQuality& quality, const Spacings& spacings,
                         std::int64_t not_numbers, const std::string& extra,
                         const std::string& extra_handling) {
    std::string html = "<tr><th colspan=\"2\">" + std::string(name) + "</th></tr>";
    const auto row = [&](const std::string& what, const std::string& handling) {
        html += "<tr><td>" + escaped(what) + "</td><td>" + escaped(handling) + "</td></tr>";
    };
    if (!quality.present) {
        row("not found", "the report is made from the other log");
        return html;
    }
    if (quality.empty)
        row("empty (0 bytes)", "nothing to read");
    else if (quality.data_lines == 0)
        row("only the header, no collection yet", "nothing to read");
    row(counted(quality.data_lines, "data line", "data lines"),
        counted(spacings.collections(), "collection", "collections") + " used");
    if (quality.unreadable_stamps > 0)
        row(counted(quality.unreadable_stamps, "line", "lines") +
                " with a date and time that cannot be read (the first is line " +
                decimal(quality.first_unreadable_line) + ")",
            "skipped");
    if (quality.unfinished_last_line)
        row("a last line without its line end (being written, or cut short)", "skipped");
    if (quality.outside_period > 0)
        row(counted(quality.outside_period, "line", "lines") + " outside --since/--until",
            "left out");
    if (quality.other_column_count > 0)
        row(counted(quality.other_column_count, "line", "lines") +
                " with a column count unlike the "
                "first line's " +
                decimal(quality.usual_columns) + " (the router's reply changed)",
            "read by position; columns beyond the first line's layout are not charted");
    if (not_numbers > 0)
        row(counted(not_numbers, "value", "values") + " that should be numbers and are not",
            "left out of the figures");
    if (spacings.backwards() > 0)
        row(counted(spacings.backwards(), "time", "times") +
                " the clock went backwards (a clock "
                "change, such as the repeated hour when daylight saving time ends)",
            "kept in file order; charted at their own time, not counted as gaps");
    if (!extra.empty()) row(extra, extra_handling);
    return html;
}

std::string quality_section(const LogFigures& figures, const std::string& matching_note) {
    std::string html =
        "<section><h2>8. Data quality</h2><table><tr><th>found</th><th>how it was "
        "handled</th></tr>";
    const StatisticsFigures& stats = figures.stats;
    std::string stats_extra, stats_handling;
    if (stats.quality.usual_columns != 0 &&
        stats.quality.usual_columns != stats.quality.header_columns) {
        stats_extra = "data lines have " + decimal(stats.quality.usual_columns) +
                      " columns, the header " + decimal(stats.quality.header_columns);
        stats_handling = matching_note.empty() ? "read by position" : matching_note;
    }
    html += quality_rows("kelvastats.csv, the statistics log", stats.quality, stats.spacings,
                         stats.quality.not_numbers + reply_not_numbers(stats), stats_extra,
                         stats_handling);
    const BinsFigures& bins = figures.bins;
    std::string bins_extra, bins_handling;
    if (bins.quality.present && !bins.quality.empty && bins.tones < current_tone_count) {
        bins_extra = "an older layout: the header names " + decimal(bins.tones) + " tones";
        bins_handling =
            "read by position; the total is split from the last tone's bits glued to it";
        if (bins.totals_from_tones > 0)
            bins_handling += " (" + counted(bins.totals_from_tones, "line", "lines") +
                             " could not be split: their total is the sum of the named tones)";
    }
    html += quality_rows("kelvabins.csv, the bins log", bins.quality, bins.spacings,
                         bins.quality.not_numbers, bins_extra, bins_handling);
    return html + "</table></section>\n";
}

}  // namespace

std::string html_report(const LogFigures& figures) {
    const Spacings& timeline = timeline_of(figures);
    const std::vector<Gap> gaps = timeline.gaps();
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<title>KelvaStats report</title>\n";
    html += style;
    html += "</style></head><body><main><h1>KelvaStats report</h1><p class=\"note\">";
    html += timeline.collections() == 0
                ? "No collections."
                : escaped(format_stamp(timeline.first()) + " to " + format_stamp(timeline.last()));
    html += "</p>\n";
    html += key_figures_section(figures);
    html += errors_section(figures, gaps);
    html += total_bits_section(figures, gaps);
    html += loading_section(figures.bins);
    html += changes_section(figures.bins);
    html += heat_map_section(figures.bins, figures.period);
    std::string matching_note;
    html += reply_columns_section(figures.stats, figures.period, matching_note);
    html += quality_section(figures, matching_note);
    return html + "</main></body></html>\n";
}
