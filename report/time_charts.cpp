// The charts over time: errors, total bits and the status reply's numeric columns.
#include <algorithm>
#include <tuple>

#include "report/reply_columns.h"
#include "report/report_sections.h"

namespace {

constexpr int x_labels = 6;

// A figure in a chart's heading: two decimals, shortened when that is longer than a heading holds.
std::string heading_number(double value) {
    constexpr std::size_t widest = 12;
    const std::string text = number_text(value, 2);
    return text.size() <= widest ? text : short_number(value, widest);
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

}  // namespace

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
