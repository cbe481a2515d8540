// The charts over time: errors, total bits and the status reply's numeric columns.
#include <algorithm>
#include <tuple>

#include "report/reply_columns.h"
#include "report/report_sections.h"

namespace {

// A figure in a chart's heading: two decimals, shortened when that is longer than a heading holds.
std::string heading_number(double value) {
    constexpr std::size_t widest = 12;
    const std::string text = number_text(value, 2);
    return text.size() <= widest ? text : short_number(value, widest);
}

}  // namespace

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
        charts += "<div><h3>" + escaped(titles.titles[k]) + ": " + heading_number(lines.lowest) +
                  (lines.highest > lines.lowest ? " to " + heading_number(lines.highest) : "") +
                  "</h3>" + chart_start(plot, titles.titles[k]) +
                  band(plot, middles, lines.lows, lines.highs, "band") +
                  line(plot, middles, lines.means, "mean") +
                  x_label(plot, plot.x_low, bucket_label(period.buckets, period.buckets.start)) +
                  chart_end() + "</div>";
    }
    if (charts.empty()) return html + missing_log_note("numeric status column");
    return html + "<div class=\"small\">" + charts + "</div></section>\n";
}
