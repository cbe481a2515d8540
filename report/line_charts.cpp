// The charts of the line page: errors and the line's figures over time, two charts side by side
// (downstream, upstream), and the tones' bits, bitswaps, heat map and SNR.
#include <algorithm>
#include <cmath>
#include <type_traits>
#include <utility>

#include "report/line_page.h"
#include "report/report_sections.h"

namespace {

// Charts over time half the page's width, with fewer time labels to leave room between them.
constexpr double half_width = 356;
constexpr std::int32_t half_time_labels = 3;

Plot half_time_plot(const ReportPeriod& period, double height) {
    Plot plot = time_plot(period, height);
    plot.width = half_width;
    plot.left = 44;
    plot.right = 6;
    return plot;
}

const char* direction_name(int direction) {
    return direction == down ? "downstream" : "upstream";
}

std::string bucket_word(const TimeSlices& slices) {
    if (slices.width < minutes_per_day) return "hour";
    if (slices.width == minutes_per_day) return "day";
    return decimal(slices.width / minutes_per_day) + " days";
}

// A thin line down the chart at the middle of each bucket that holds a retrain.
std::string retrain_marks(const Plot& plot, const TimeSlices& slices,
                          const std::vector<std::int64_t>& retrains) {
    std::string path;
    const std::size_t count = std::min(retrains.size(), static_cast<std::size_t>(slices.count));
    for (std::size_t k = 0; k < count; ++k) {
        if (retrains[k] <= 0) continue;
        const double middle = slices.slice_start(static_cast<std::int32_t>(k)) + slices.width / 2.0;
        path.append("M")
            .append(number_text(plot.x(middle)))
            .append(" ")
            .append(number_text(plot.top))
            .append("V")
            .append(number_text(plot.top + plot.inner_height()));
    }
    return path.empty() ? "" : "<path class=\"retrain\" d=\"" + path + "\"/>";
}

// One chart of a pair: its heading, the gaps, `drawing`, the retrains and the time labels.
std::string half_chart(const std::string& title, const Plot& plot, const LineLogsFigures& figures,
                       const std::vector<Gap>& gaps, const std::string& drawing) {
    const TimeSlices& buckets = figures.period.buckets;
    return "<div><h3>" + escaped(title) + "</h3>" + chart_start(plot, title) +
           gap_bands(plot, gaps) + drawing +
           retrain_marks(plot, buckets, figures.line.retrain_buckets) +
           time_labels(plot, buckets, half_time_labels) + chart_end() + "</div>";
}

// A counter's growth per bucket; with `no_collection_gap`, NaN where a bucket holds no
// collection, so that a line over them breaks.
std::vector<double> counter_values(const LineLogsFigures& figures, int direction, int counter,
                                   bool no_collection_gap) {
    const LineLogFigures& line = figures.line;
    const auto count = static_cast<std::size_t>(figures.period.buckets.count);
    const std::vector<CounterSums>& buckets =
        line.directions[static_cast<std::size_t>(direction)].counter_buckets;
    std::vector<double> values(count, 0);
    for (std::size_t k = 0; k < count; ++k) {
        if (k < buckets.size())
            values[k] = static_cast<double>(buckets[k][static_cast<std::size_t>(counter)]);
        if (no_collection_gap &&
            (k >= line.collections_per_bucket.size() || line.collections_per_bucket[k] == 0))
            values[k] = no_value;
    }
    return values;
}

double highest_of(const std::vector<double>& values) {
    double highest = 0;
    for (const double value : values)
        if (value > highest) highest = value;
    return highest;
}

// The lowest, highest and mean of each of the period's buckets, however many the figures hold.
BucketLines period_lines(std::vector<BucketValues> buckets, const ReportPeriod& period) {
    buckets.resize(static_cast<std::size_t>(period.buckets.count));
    return bucket_lines(buckets);
}

// The tones each x of a chart over the tones stands for: every tone apart when they fit the
// chart's width, else the tones of each of its unit columns together, so that none is dropped.
// x is in kHz.
struct ToneColumns {
    std::size_t tones = 1, count = 1;

    std::size_t first(std::size_t column) const { return (column * tones + count - 1) / count; }
    double start(std::size_t column) const { return at(static_cast<double>(column) - 0.5); }
    double middle(std::size_t column) const { return at(static_cast<double>(column)); }
    double width() const { return at(1) - at(0); }
    // The x of a column's place, fractional: tone `place` itself when every tone has a column.
    double at(double place) const {
        return (place + 0.5) * static_cast<double>(tones) / static_cast<double>(count) *
                   tone_khz(1) -
               tone_khz(1) / 2;
    }
};

Plot tone_plot(std::size_t tones, double height) {
    Plot plot;
    plot.height = height;
    plot.x_low = -tone_khz(1) / 2;
    plot.x_high = (static_cast<double>(tones) - 0.5) * tone_khz(1);
    return plot;
}

ToneColumns tone_columns(const Plot& plot, std::size_t tones) {
    const auto columns = static_cast<std::size_t>(plot.inner_width());
    return {tones, std::clamp<std::size_t>(columns, 1, tones)};
}

std::vector<double> column_middles(const ToneColumns& columns) {
    std::vector<double> middles;
    for (std::size_t column = 0; column < columns.count; ++column)
        middles.push_back(columns.middle(column));
    return middles;
}

// The figures of the tones as numbers, NaN where a tone has none (bits of -1, an SNR of NaN, a
// tone beyond the figures).
template <class Value>
std::vector<double> per_tone(const std::vector<Value>& source, std::size_t tones) {
    std::vector<double> values(tones, no_value);
    for (std::size_t tone = 0; tone < std::min(tones, source.size()); ++tone) {
        const auto value = static_cast<double>(source[tone]);
        if constexpr (std::is_floating_point_v<Value>) {
            if (std::isfinite(value)) values[tone] = value;
        } else if (value >= 0) {
            values[tone] = value;
        }
    }
    return values;
}

// Per column, the lowest of `lows` and the highest of `highs` over its tones; NaN in both where
// none of its tones has both.
struct ColumnValues {
    std::vector<double> lows, highs;
    double lowest = 0, highest = 0;
    bool any = false;
};

ColumnValues column_values(const ToneColumns& columns, const std::vector<double>& lows,
                           const std::vector<double>& highs) {
    ColumnValues values;
    for (std::size_t column = 0; column < columns.count; ++column) {
        double low = no_value, high = no_value;
        for (std::size_t tone = columns.first(column); tone < columns.first(column + 1); ++tone) {
            if (std::isnan(lows[tone]) || std::isnan(highs[tone])) continue;
            low = std::isnan(low) ? lows[tone] : std::min(low, lows[tone]);
            high = std::isnan(high) ? highs[tone] : std::max(high, highs[tone]);
        }
        values.lows.push_back(low);
        values.highs.push_back(high);
        if (std::isnan(low)) continue;
        values.lowest = values.any ? std::min(values.lowest, low) : low;
        values.highest = values.any ? std::max(values.highest, high) : high;
        values.any = true;
    }
    return values;
}

// A line through each column's highest and then its lowest, so that it reaches every tone's value.
std::string spanning_line(const Plot& plot, const ToneColumns& columns, const ColumnValues& values,
                          std::string_view css_class) {
    std::vector<double> xs, ys;
    for (std::size_t column = 0; column < columns.count; ++column) {
        xs.push_back(columns.middle(column));
        ys.push_back(values.highs[column]);
        if (values.lows[column] == values.highs[column]) continue;
        xs.push_back(columns.middle(column));
        ys.push_back(values.lows[column]);
    }
    return line(plot, xs, ys, css_class);
}

// Round frequencies along the x axis: MHz for VDSL's many tones, kHz for ADSL's.
std::string frequency_labels(const Plot& plot, std::size_t tones) {
    const bool mhz = tones > 512;
    const double unit = mhz ? 1000 : 1;
    const double step = round_up((plot.x_high - plot.x_low) / unit / 10);
    std::string svg;
    for (int k = 0; k * step * unit <= plot.x_high; ++k) {
        const std::string text = number_text(k * step, 3) + (mhz ? " MHz" : " kHz");
        // Half the label's width, at the widest a character takes, must fit before the edge.
        if (plot.x(k * step * unit) + static_cast<double>(text.size()) * 3 > plot.width) break;
        svg += x_label(plot, k * step * unit, text);
    }
    return svg;
}

bool has_tones(const TonesLogFigures& tones) {
    return tones.spacings.collections() > 0 && tones.tones > 0;
}

// A chart over the tones of the latest count, and the tones each of its x values stands for.
struct ToneChart {
    std::size_t tones;
    Plot plot;
    ToneColumns columns;
};

ToneChart tone_chart(const TonesLogFigures& figures, double height) {
    const auto tones = static_cast<std::size_t>(figures.tones);
    const Plot plot = tone_plot(tones, height);
    return {tones, plot, tone_columns(plot, tones)};
}

// A section of one chart over the tones: `heading` (and its note), then the chart, whose drawing
// `draw(chart)` begins, or the missing log's note when the figures hold no tones.
template <class Draw>
std::string tones_section(const TonesLogFigures& tones, const std::string& heading, double height,
                          Draw draw) {
    if (!has_tones(tones)) return heading + missing_log_note("tones log");
    ToneChart chart = tone_chart(tones, height);
    const std::string drawing = draw(chart);
    return heading + drawing + frequency_labels(chart.plot, chart.tones) + chart_end() +
           "</section>\n";
}

std::string line_errors_section(const LineLogsFigures& figures, const std::vector<Gap>& gaps) {
    const TimeSlices& buckets = figures.period.buckets;
    std::string html =
        "<section><h2>2. Errors over time</h2><p class=\"note\">The growth of each counter "
        "summed per " +
        bucket_word(buckets) +
        ", downstream (what the modem receives) on the left, upstream on the right; dashed "
        "lines mark retrains, grey bands are gaps, where nothing was collected.</p>";
    if (figures.line.spacings.collections() == 0) return html + missing_log_note("line log");
    const std::vector<double> starts = bucket_starts(buckets);
    std::string charts;
    for (const auto& [counter, css] : {std::pair{line_crc, "crc"}, std::pair{line_fec, "fec"}}) {
        for (int direction = down; direction <= up; ++direction) {
            const std::vector<double> values = counter_values(figures, direction, counter, false);
            Plot plot = half_time_plot(figures.period, 110);
            fit_y(plot, 0, highest_of(values), true);
            charts +=
                half_chart(std::string(line_counter_names[static_cast<std::size_t>(counter)]) +
                               " " + direction_name(direction),
                           plot, figures, gaps, bars(plot, starts, buckets.width, values, css));
        }
    }
    return html + "<div class=\"pair\">" + charts + "</div></section>\n";
}

std::string line_over_time_section(const LineLogsFigures& figures, const std::vector<Gap>& gaps) {
    const ReportPeriod& period = figures.period;
    std::string html =
        "<section><h2>3. The line over time</h2><p class=\"note\">Per " +
        bucket_word(period.buckets) +
        ": the sync rate's mean as a solid line with its lowest and highest as a band, and the "
        "attainable rate's mean as a dashed line; the SNR margin's mean with its lowest and "
        "highest; the errored seconds (ES, solid line), severely errored seconds (SES, dashed) "
        "and unavailable seconds (UAS, dotted).</p>";
    if (figures.line.spacings.collections() == 0) return html + missing_log_note("line log");
    const std::vector<double> middles = bucket_middles(period.buckets);
    const auto& directions = figures.line.directions;
    std::string charts;
    for (int direction = down; direction <= up; ++direction) {
        const LineDirection& of = directions[static_cast<std::size_t>(direction)];
        const BucketLines rate = period_lines(of.rate_buckets, period);
        const BucketLines attainable = period_lines(of.attainable_buckets, period);
        Plot plot = half_time_plot(period, 130);
        fit_y(plot, attainable.any ? std::min(rate.lowest, attainable.lowest) : rate.lowest,
              std::max(rate.highest, attainable.highest), false);
        charts += half_chart(std::string("Rate ") + direction_name(direction) + " (kbit/s)", plot,
                             figures, gaps,
                             band(plot, middles, rate.lows, rate.highs, "band") +
                                 line(plot, middles, rate.means, "mean") +
                                 line(plot, middles, attainable.means, "dashed"));
    }
    for (int direction = down; direction <= up; ++direction) {
        const BucketLines margin = period_lines(
            directions[static_cast<std::size_t>(direction)].snr_margin_buckets, period);
        Plot plot = half_time_plot(period, 130);
        fit_y(plot, margin.lowest, margin.highest, false);
        charts += half_chart(std::string("SNR margin ") + direction_name(direction) + " (dB)", plot,
                             figures, gaps,
                             band(plot, middles, margin.lows, margin.highs, "band") +
                                 line(plot, middles, margin.means, "mean"));
    }
    for (int direction = down; direction <= up; ++direction) {
        const std::vector<double> es = counter_values(figures, direction, line_es, true);
        const std::vector<double> ses = counter_values(figures, direction, line_ses, true);
        const std::vector<double> uas = counter_values(figures, direction, line_uas, true);
        Plot plot = half_time_plot(period, 130);
        fit_y(plot, 0, std::max({highest_of(es), highest_of(ses), highest_of(uas)}), true);
        charts += half_chart(std::string("ES, SES and UAS ") + direction_name(direction) + " (s)",
                             plot, figures, gaps,
                             line(plot, middles, es, "mean") + line(plot, middles, ses, "dashed") +
                                 line(plot, middles, uas, "dotted"));
    }
    return html + "<div class=\"pair\">" + charts + "</div></section>\n";
}

std::string tone_bits_section(const TonesLogFigures& tones) {
    const std::string heading =
        "<section><h2>4. Bits per tone</h2><p class=\"note\">The latest loading as a red line; "
        "the band spans the lowest and highest over the period. Where the tones outnumber the "
        "chart's pixel columns, each column shows the lowest and highest of its tones, so that "
        "no single tone's dip is lost.</p>";
    return tones_section(tones, heading, 170, [&](ToneChart& chart) {
        const ColumnValues range = column_values(chart.columns, per_tone(tones.lowest, chart.tones),
                                                 per_tone(tones.highest, chart.tones));
        const std::vector<double> latest = per_tone(tones.latest, chart.tones);
        const ColumnValues latest_range = column_values(chart.columns, latest, latest);
        fit_y(chart.plot, 0, std::max({range.highest, latest_range.highest, 15.0}), true);
        return chart_start(chart.plot, "Bits per tone") +
               band(chart.plot, column_middles(chart.columns), range.lows, range.highs, "band") +
               spanning_line(chart.plot, chart.columns, latest_range, "latest");
    });
}

std::string tone_changes_section(const TonesLogFigures& tones) {
    const std::string heading =
        "<section><h2>5. Bitswaps per tone</h2><p class=\"note\">How many collections changed "
        "the tone's bits: a tone that changes often meets interference. A bar over several "
        "tones is the highest count among them.</p>";
    return tones_section(tones, heading, 140, [&](ToneChart& chart) {
        const std::vector<double> changes = per_tone(tones.changes, chart.tones);
        ColumnValues most = column_values(chart.columns, changes, changes);
        std::vector<double> starts;
        for (std::size_t column = 0; column < chart.columns.count; ++column) {
            starts.push_back(chart.columns.start(column));
            if (std::isnan(most.highs[column])) most.highs[column] = 0;
        }
        fit_y(chart.plot, 0, most.highest, true);
        return chart_start(chart.plot, "Bitswaps per tone") +
               bars(chart.plot, starts, chart.columns.width(), most.highs, "bar");
    });
}

std::string tone_heat_section(const TonesLogFigures& tones, const ReportPeriod& period) {
    const auto columns = static_cast<std::size_t>(std::max(period.heat.count, 0));
    const auto rows = static_cast<std::size_t>(std::max(tones.heat_rows, 0));
    std::string html =
        "<section><h2>6. Bits per tone over time</h2><p class=\"note\">Each column is " +
        decimal(period.heat.width) + " min, each row " +
        counted(tones.tones_per_heat_row, "tone", "tones") +
        " (the lowest frequencies at the bottom; the scale counts tones); the colour is the mean "
        "bit count:" +
        heat_key();
    const std::size_t cells = columns * rows;
    if (!has_tones(tones) || cells == 0 || tones.heat_sums.size() < cells ||
        tones.heat_counts.size() < cells)
        return html + missing_log_note("tones log");
    const Plot plot =
        heat_plot(period, static_cast<double>(rows) * std::max(tones.tones_per_heat_row, 1));
    return html + chart_start(plot, "Bits per tone over time") +
           heat_cells(plot, columns, rows,
                      [&](std::size_t column, std::size_t row) {
                          const std::size_t cell = column * rows + row;
                          return heat_colour(tones.heat_sums[cell], tones.heat_counts[cell]);
                      }) +
           time_labels(plot, period.heat) + chart_end() + "</section>\n";
}

std::string tone_snr_section(const TonesLogFigures& tones) {
    const std::string html = "<section><h2>7. SNR per tone</h2>";
    const std::string note =
        "<p class=\"note\">The latest reading as a red line and the lowest over the period as a "
        "dashed line, in dB. Where the tones outnumber the chart's pixel columns, the red line "
        "spans the lowest and highest of each column's tones, the dashed line their lowest. "
        "Tones without a reading are left out.</p>";
    if (!has_tones(tones)) return html + note + missing_log_note("tones log");
    auto [count, plot, columns] = tone_chart(tones, 170);
    const std::vector<double> latest = per_tone(tones.snr_latest, count);
    const std::vector<double> lowest = per_tone(tones.snr_lowest, count);
    const ColumnValues latest_range = column_values(columns, latest, latest);
    const ColumnValues lowest_range = column_values(columns, lowest, lowest);
    if (!latest_range.any && !lowest_range.any)
        return html + "<p class=\"note\">The router gave no SNR per tone.</p></section>\n";
    const double highest = std::max(latest_range.highest, lowest_range.highest);
    fit_y(plot, std::min(latest_range.lowest, lowest_range.lowest), highest, true);
    plot.y_high = std::max(10.0, std::ceil(highest / 10) * 10);  // the next ten dB above
    return html + note + chart_start(plot, "SNR per tone") +
           line(plot, column_middles(columns), lowest_range.lows, "dashed") +
           spanning_line(plot, columns, latest_range, "latest") + frequency_labels(plot, count) +
           chart_end() + "</section>\n";
}

}  // namespace

std::string line_charts_html(const LineLogsFigures& figures, const std::vector<Gap>& gaps) {
    return line_errors_section(figures, gaps) + line_over_time_section(figures, gaps) +
           tone_bits_section(figures.tones) + tone_changes_section(figures.tones) +
           tone_heat_section(figures.tones, figures.period) + tone_snr_section(figures.tones);
}
