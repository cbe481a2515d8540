// The report page of a line: its key figures and data quality around the charts.
#include "report/line_page.h"

#include <algorithm>

#include "report/line_key_figures.h"
#include "report/report_sections.h"

namespace {

// The page's own rules after the classic style sheet: charts side by side, and line styles that
// stay apart in black-and-white print.
constexpr const char* line_style =
    R"(.pair { display: grid; grid-template-columns: 1fr 1fr; gap: 6px 10px; }
.pair div { break-inside: avoid; page-break-inside: avoid; }
.retrain { fill: none; stroke: #222; stroke-width: 0.7; stroke-dasharray: 2 1.5; }
.dashed { fill: none; stroke: #1a5276; stroke-width: 1; stroke-dasharray: 4 2; }
.dotted { fill: none; stroke: #222; stroke-width: 1.2; stroke-dasharray: 1 2; }
)";

// The retrains listed in the key figures; the rest are counted.
constexpr std::size_t listed_retrains = 20;

std::string counter_sums(const CounterSums& sums) {
    std::string text;
    for (std::size_t k = 0; k < sums.size(); ++k)
        text += std::string(k == 0 ? "" : ", ") + line_counter_names[k] + " " + decimal(sums[k]);
    return text;
}

// A figure's lowest, highest and latest as cells of the directions' table.
std::string range_cells(const FigureRange& range, bool decibels) {
    if (!range.any) return "<td colspan=\"3\">none</td>";
    std::string cells;
    for (const double value : {range.lowest, range.highest, range.latest})
        cells += "<td class=\"n\">" + (decibels ? decibel_figure(value) : number_text(value, 0)) +
                 "</td>";
    return cells;
}

std::string directions_table(const LineLogFigures& line) {
    std::string html =
        "<table><tr><th></th><th colspan=\"3\">downstream</th><th colspan=\"3\">upstream</th>"
        "</tr><tr><th></th>";
    for (int direction = down; direction <= up; ++direction)
        html += "<th>lowest</th><th>highest</th><th>latest</th>";
    html += "</tr>";
    const auto& [down_figures, up_figures] = line.directions;
    html += "<tr><th>SNR margin (dB)</th>" + range_cells(down_figures.snr_margin, true) +
            range_cells(up_figures.snr_margin, true) + "</tr>";
    html += "<tr><th>Sync rate (kbit/s)</th>" + range_cells(down_figures.rate, false) +
            range_cells(up_figures.rate, false) + "</tr>";
    html += "<tr><th>Attainable rate (kbit/s)</th>" + range_cells(down_figures.attainable, false) +
            range_cells(up_figures.attainable, false) + "</tr>";
    return html + "</table>";
}

std::string retrains_table(const LineLogFigures& line) {
    if (line.retrain_count == 0 || line.retrains.empty()) return "";
    std::string html = "<p class=\"note\">The retrains:</p><table><tr><th>at</th><th>why</th></tr>";
    const std::size_t shown = std::min(line.retrains.size(), listed_retrains);
    for (std::size_t k = 0; k < shown; ++k)
        html += "<tr><td>" + format_stamp(line.retrains[k].at) + "</td><td>" +
                (line.retrains[k].down ? "state left showtime" : "a counter fell") + "</td></tr>";
    if (line.retrain_count > static_cast<std::int64_t>(shown))
        html += "<tr><td colspan=\"2\">and " +
                decimal(line.retrain_count - static_cast<std::int64_t>(shown)) + " more</td></tr>";
    return html + "</table>";
}

std::string line_key_figures_section(const LineLogsFigures& figures) {
    const Spacings& timeline = line_timeline_of(figures);
    const GapTotals gaps = gap_totals(timeline);
    const LineLogFigures& line = figures.line;
    std::string html = "<section><h2>1. Key figures</h2><table>";
    const auto row = [&](const std::string& name, const std::string& value) {
        html += "<tr><th>" + name + "</th><td>" + escaped(value) + "</td></tr>";
    };
    html += timeline_rows(timeline, gaps,
                          decimal(line.spacings.collections()) + " in the line log, " +
                              decimal(figures.tones.spacings.collections()) + " in the tones log");
    const std::int64_t states = line.showtime + line.not_showtime;
    row("Time in showtime", states == 0 ? "none"
                                        : number_text(100.0 * static_cast<double>(line.showtime) /
                                                          static_cast<double>(states),
                                                      1) +
                                              "% of the collections (" + decimal(line.showtime) +
                                              " of " + decimal(states) + ")");
    row("Retrains", decimal(line.retrain_count));
    if (figures.line_read == LogRead::read) {
        row("Errors downstream", counter_sums(line.directions[down].sums));
        row("Errors upstream", counter_sums(line.directions[up].sums));
    }
    row("Worst CRC hour", line.worst_crc_hour < 0
                              ? "none"
                              : format_stamp(line.worst_crc_hour) + ", " +
                                    counted(line.worst_crc_errors, "error", "errors") +
                                    " in both directions");
    std::string mode = line.mode;
    if (!line.profile.empty()) mode += (mode.empty() ? "profile " : ", profile ") + line.profile;
    row("Mode", mode.empty() ? "none" : mode);
    const std::int32_t tones = figures.tones.tones > 0 ? figures.tones.tones : line.tones;
    row("Tones", tones > 0 ? decimal(tones) : "none");
    html += "</table>";
    if (figures.line_read == LogRead::read)
        html +=
            "<p class=\"note\">The errors are the counters' growth over the period, summed "
            "across retrains; ES, SES and UAS are seconds.</p>" +
            directions_table(line);
    // Side by side, so that the section fits a printed page.
    const std::string retrains = retrains_table(line);
    const std::string longest_gaps = longest_gaps_table(timeline, gaps.gaps);
    if (!retrains.empty() || !longest_gaps.empty())
        html +=
            "<div class=\"pair\"><div>" + retrains + "</div><div>" + longest_gaps + "</div></div>";
    if (figures.classic_logs_too)
        html +=
            "<p class=\"note\">kelvastats.csv and kelvabins.csv are here too; this report is made "
            "from kelvaline.csv and kelvatones.csv.</p>";
    return html + "</section>\n";
}

std::string clock_changes(std::int64_t changes) {
    return "the UTC offset changed " + counted(changes, "time", "times") +
           " (daylight saving time)";
}

constexpr const char* clock_handling = "charted at local time; not gaps, not times going backwards";

std::string line_quality_section(const LineLogsFigures& figures) {
    std::string html =
        "<section><h2>8. Data quality</h2><table><tr><th>found</th><th>how it was "
        "handled</th></tr>";
    const LineLogFigures& line = figures.line;
    std::vector<QualityNote> line_notes;
    if (line.clock_changes > 0)
        line_notes.push_back({clock_changes(line.clock_changes), clock_handling});
    html += quality_rows("kelvaline.csv, the line log", line.quality, line.spacings,
                         line.quality.not_numbers, line_notes, LogLayout::named);
    const TonesLogFigures& tones = figures.tones;
    std::vector<QualityNote> tones_notes;
    if (tones.clock_changes > 0)
        tones_notes.push_back({clock_changes(tones.clock_changes), clock_handling});
    if (tones.tone_count_changes > 0)
        tones_notes.push_back({counted(tones.tone_count_changes, "header", "headers") +
                                   " naming another tone count than the one before",
                               "the figures per tone are of the latest count (" +
                                   decimal(tones.tones) + " tones); earlier counts are left out"});
    if (tones.not_rebuilt > 0)
        tones_notes.push_back({counted(tones.not_rebuilt, "bitswap line", "bitswap lines") +
                                   " with no bits line before them, so they cannot be rebuilt",
                               "skipped"});
    if (tones.other_kinds > 0)
        tones_notes.push_back(
            {counted(tones.other_kinds, "line", "lines") + " of a kind this report does not know",
             "skipped"});
    html += quality_rows("kelvatones.csv, the tones log", tones.quality, tones.spacings,
                         tones.quality.not_numbers, tones_notes, LogLayout::named);
    return html + "</table></section>\n";
}

}  // namespace

std::string line_report_html(const LineLogsFigures& figures) {
    const Spacings& timeline = line_timeline_of(figures);
    return page_start("KelvaStats report", line_style, timeline) +
           line_key_figures_section(figures) + line_charts_html(figures, timeline.gaps()) +
           line_quality_section(figures) + "</main></body></html>\n";
}
