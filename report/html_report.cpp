// The report page: its style, the key figures and the data quality around the charts.
#include "report/html_report.h"

#include <algorithm>

#include "report/key_figures.h"
#include "report/report_sections.h"

namespace {

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

std::int64_t reply_not_numbers(const StatisticsFigures& stats) {
    std::int64_t count = 0;
    for (const ReplyColumn& column : stats.columns)
        if (column.numbers > 0 && column.numbers >= column.not_numbers) count += column.not_numbers;
    return count;
}

}  // namespace

std::string counted(std::int64_t count, const char* one, const char* many) {
    return decimal(count) + " " + (count == 1 ? one : many);
}

std::string quality_rows(const char* name, const LogQuality& quality, const Spacings& spacings,
                         std::int64_t not_numbers, const std::vector<QualityNote>& notes,
                         LogLayout layout) {
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
    const bool classic = layout == LogLayout::classic;
    if (quality.other_column_count > 0 && classic)
        row(counted(quality.other_column_count, "line", "lines") +
                " with a column count unlike the "
                "first line's " +
                decimal(quality.usual_columns) + " (the router's reply changed)",
            "read by position; columns beyond the first line's layout are not charted");
    if (quality.other_column_count > 0 && !classic)
        row(counted(quality.other_column_count, "line", "lines") +
                " with a column count unlike their header's",
            "read as far as the header names their columns");
    if (not_numbers > 0)
        row(counted(not_numbers, "value", "values") + " that should be numbers and are not",
            "left out of the figures");
    if (spacings.backwards() > 0)
        row(counted(spacings.backwards(), "time", "times") +
                (classic ? " the clock went backwards (a clock change, such as the repeated "
                           "hour when daylight saving time ends)"
                         : " the clock was set back with no change of its UTC offset (a clock "
                           "put right, not daylight saving time)"),
            "kept in file order; charted at their own time, not counted as gaps");
    for (const QualityNote& note : notes) row(note.found, note.handling);
    return html;
}

std::string timeline_rows(const Spacings& timeline, const GapTotals& gaps,
                          const std::string& collections) {
    std::string html;
    const auto row = [&](const std::string& name, const std::string& value) {
        html += "<tr><th>" + name + "</th><td>" + escaped(value) + "</td></tr>";
    };
    row("Period", timeline.collections() == 0
                      ? "none"
                      : format_stamp(timeline.first()) + " to " + format_stamp(timeline.last()));
    row("Collections", collections);
    const std::int32_t median = timeline.median();
    row("Typical interval", median < 0 ? "none" : decimal(median) + " min (the median spacing)");
    row("Gaps", decimal(static_cast<std::int64_t>(gaps.gaps.size())) + ", " +
                    counted(gaps.missing, "collection", "collections") + " missing");
    return html;
}

std::string longest_gaps_table(const Spacings& timeline, const std::vector<Gap>& gaps) {
    std::string html;
    if (!gaps.empty()) {
        std::vector<Gap> longest = gaps;
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
    return html;
}

std::string key_figures_section(const LogFigures& figures) {
    const Spacings& timeline = timeline_of(figures);
    const GapTotals gaps = gap_totals(timeline);
    std::string html = "<section><h2>1. Key figures</h2><table>";
    const auto row = [&](const std::string& name, const std::string& value) {
        html += "<tr><th>" + name + "</th><td>" + escaped(value) + "</td></tr>";
    };
    html +=
        timeline_rows(timeline, gaps,
                      decimal(figures.stats.spacings.collections()) + " in the statistics log, " +
                          decimal(figures.bins.spacings.collections()) + " in the bins log");
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
    html += "</table>" + longest_gaps_table(timeline, gaps.gaps);
    return html + "</section>\n";
}

std::string page_start(std::string_view title, std::string_view more_style,
                       const Spacings& timeline) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" +
                       escaped(title) + "</title>\n" + style;
    html.append(more_style);
    html += "</style></head><body><main><h1>" + escaped(title) + "</h1><p class=\"note\">";
    html += timeline.collections() == 0
                ? "No collections."
                : escaped(format_stamp(timeline.first()) + " to " + format_stamp(timeline.last()));
    return html + "</p>\n";
}

std::string missing_log_note(const char* log) {
    return std::string("<p class=\"note\">No ") + log + " in the period.</p></section>\n";
}

std::string quality_section(const LogFigures& figures, const std::string& matching_note) {
    std::string html =
        "<section><h2>8. Data quality</h2><table><tr><th>found</th><th>how it was "
        "handled</th></tr>";
    const StatisticsFigures& stats = figures.stats;
    std::vector<QualityNote> stats_notes;
    if (stats.quality.usual_columns != 0 &&
        stats.quality.usual_columns != stats.quality.header_columns)
        stats_notes.push_back({"data lines have " + decimal(stats.quality.usual_columns) +
                                   " columns, the header " + decimal(stats.quality.header_columns),
                               matching_note.empty() ? "read by position" : matching_note});
    html += quality_rows("kelvastats.csv, the statistics log", stats.quality, stats.spacings,
                         stats.quality.not_numbers + reply_not_numbers(stats), stats_notes);
    const BinsFigures& bins = figures.bins;
    std::vector<QualityNote> bins_notes;
    if (bins.quality.present && !bins.quality.empty && bins.tones < current_tone_count) {
        std::string handling =
            "read by position; the total is split from the last tone's bits glued to it";
        if (bins.totals_from_tones > 0)
            handling += " (" + counted(bins.totals_from_tones, "line", "lines") +
                        " could not be split: their total is the sum of the named tones)";
        bins_notes.push_back(
            {"an older layout: the header names " + decimal(bins.tones) + " tones", handling});
    }
    html += quality_rows("kelvabins.csv, the bins log", bins.quality, bins.spacings,
                         bins.quality.not_numbers, bins_notes);
    return html + "</table></section>\n";
}

std::string html_report(const LogFigures& figures) {
    const Spacings& timeline = timeline_of(figures);
    const std::vector<Gap> gaps = timeline.gaps();
    std::string html = page_start("KelvaStats report", "", timeline);
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
