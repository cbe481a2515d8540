// The key figures of the logs as text lines.
#include "report/key_figures.h"

#include "report/text_format.h"

namespace {

bool has_statistics(const LogFigures& figures) {
    return figures.stats_read == LogRead::read;
}

}  // namespace

const Spacings& timeline_of(const LogFigures& figures) {
    return has_statistics(figures) || figures.bins_read != LogRead::read ? figures.stats.spacings
                                                                         : figures.bins.spacings;
}

GapTotals gap_totals(const Spacings& spacings) {
    GapTotals totals;
    totals.gaps = spacings.gaps();
    for (const Gap& gap : totals.gaps) totals.missing += spacings.missing(gap);
    return totals;
}

std::string key_figures_text(const LogFigures& figures) {
    const Spacings& timeline = timeline_of(figures);
    std::string text = "period: ";
    text += timeline.collections() == 0
                ? "none"
                : format_stamp(timeline.first()) + " to " + format_stamp(timeline.last());
    text += "\ncollections: " + decimal(figures.stats.spacings.collections()) + " statistics, " +
            decimal(figures.bins.spacings.collections()) + " bins";
    const std::int32_t median = timeline.median();
    text += "\ninterval: " + (median < 0 ? std::string("none") : decimal(median) + " min");
    const GapTotals gaps = gap_totals(timeline);
    text += "\ngaps: " + decimal(static_cast<std::int64_t>(gaps.gaps.size())) + ", " +
            decimal(gaps.missing) + " collections missing\n";
    if (has_statistics(figures)) {
        static const char* const names[] = {"FEC", "CRC", "HEC", "NCD", "OCD"};
        text += "errors:";
        for (int k = 0; k < error_counters; ++k)
            text += std::string(k == 0 ? " " : ", ") + names[k] + " " +
                    decimal(figures.stats.error_totals[static_cast<std::size_t>(k)]);
        text += "\n";
    }
    text += "worst CRC hour: ";
    text += figures.stats.worst_crc_hour < 0
                ? "none"
                : format_stamp(figures.stats.worst_crc_hour) + ", " +
                      decimal(figures.stats.worst_crc_errors) + " errors";
    text += "\ntotal bits: ";
    const BinsFigures& bins = figures.bins;
    text += figures.bins_read != LogRead::read || bins.total_lines == 0
                ? "none"
                : "lowest " + decimal(bins.lowest_total) + ", highest " +
                      decimal(bins.highest_total) + ", latest " + decimal(bins.latest_total);
    text += "\nskipped lines: " +
            decimal(figures.stats.quality.skipped() + figures.bins.quality.skipped()) + "\n";
    return text;
}
