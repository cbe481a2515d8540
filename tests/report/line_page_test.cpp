// The line page from figures made by hand: a single tone's dip among 4096 stays in sight, a router
// without SNR per tone gets one line, and the biggest figures give a page under 2 MiB in which
// every number is one.
#include "report/line_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

namespace {

constexpr WallMinute start = 9 * 365 * minutes_per_day;  // early 2009

// Figures of both logs with `tones` tones, collections every 10 minutes over `buckets` hours, and
// `heat_columns` heat map columns; every tone loaded with 10 bits.
LineLogsFigures made_figures(std::int32_t tones, std::int32_t buckets, std::int32_t heat_columns) {
    LineLogsFigures figures;
    figures.line_read = figures.tones_read = LogRead::read;
    figures.period.buckets = {start, minutes_per_hour, buckets};
    figures.period.heat = {start, buckets * minutes_per_hour / heat_columns, heat_columns};
    for (WallMinute at = start; at < start + buckets * minutes_per_hour; at += 10) {
        figures.line.spacings.add(at);
        figures.tones.spacings.add(at);
    }
    LineLogFigures& line = figures.line;
    line.quality.present = figures.tones.quality.present = true;
    line.collections_per_bucket.assign(static_cast<std::size_t>(buckets), 6);
    line.retrain_buckets.assign(static_cast<std::size_t>(buckets), 0);
    for (LineDirection& direction : line.directions) {
        direction.counter_buckets.resize(static_cast<std::size_t>(buckets));
        for (auto* values : {&direction.rate_buckets, &direction.attainable_buckets,
                             &direction.snr_margin_buckets})
            values->resize(static_cast<std::size_t>(buckets));
    }
    TonesLogFigures& tones_figures = figures.tones;
    const auto count = static_cast<std::size_t>(tones);
    tones_figures.tones = tones;
    tones_figures.lowest.assign(count, 10);
    tones_figures.highest.assign(count, 10);
    tones_figures.latest.assign(count, 10);
    tones_figures.changes.assign(count, 0);
    tones_figures.snr_latest.assign(count, 40);
    tones_figures.snr_lowest.assign(count, 35);
    return figures;
}

// The text of the page's section `number`, from its heading to its end.
std::string section(const std::string& page, int number) {
    const std::size_t from = page.find("<h2>" + std::to_string(number) + ". ");
    if (from == std::string::npos) return "";
    return page.substr(from, page.find("</section>", from) - from);
}

// The text of the attribute `name` of the first element that holds `after` before it; "" when
// there is none. Found by hand: std::regex recurses over long texts such as a polyline's points,
// which overflows the stack of a Windows thread.
std::string attribute_after(const std::string& svg, const std::string& after,
                            const std::string& name) {
    const std::size_t element = svg.find(after);
    if (element == std::string::npos) return "";
    const std::size_t value = svg.find(" " + name + "=\"", element);
    if (value == std::string::npos) return "";
    const std::size_t from = value + name.size() + 3;
    return svg.substr(from, svg.find('"', from) - from);
}

// The largest y (the lowest point drawn) of the first shape of `css_class` in `svg`.
double lowest_point(const std::string& svg, const std::string& css_class) {
    const std::string points = attribute_after(svg, "class=\"" + css_class + "\"", "points");
    if (points.empty()) return -1;
    double largest = -1;
    for (std::size_t comma = points.find(','); comma != std::string::npos;
         comma = points.find(',', comma + 1))
        largest = std::max(largest, std::stod(points.substr(comma + 1)));
    return largest;
}

// The y of the frame's bottom edge: where a value of 0 is drawn on a scale from 0.
double frame_bottom(const std::string& svg) {
    const std::string y = attribute_after(svg, "class=\"frame\"", "y");
    const std::string height = attribute_after(svg, "class=\"frame\"", "height");
    EXPECT_FALSE(y.empty() || height.empty());
    return y.empty() || height.empty() ? -1 : std::stod(y) + std::stod(height);
}

// The first word "nan" or "inf" (in any case, as a printed non-number reads) in `text`, with
// what surrounds it; "" when there is none.
std::string not_a_number_word(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    const auto letter = [&](std::size_t at) { return lower[at] >= 'a' && lower[at] <= 'z'; };
    for (std::size_t at = 0; at + 3 <= lower.size(); ++at) {
        const std::string_view word(lower.data() + at, 3);
        if ((word == "nan" || word == "inf") && (at == 0 || !letter(at - 1)) &&
            (at + 3 == lower.size() || !letter(at + 3)))
            return text.substr(at > 20 ? at - 20 : 0, 46);
    }
    return "";
}

TEST(ReportLinePage, OneTonesDipAmongThousandsStaysInSight) {
    LineLogsFigures figures = made_figures(4096, 24, 24);
    // A tone between the columns' first tones, where picking one tone a column would miss it.
    figures.tones.lowest[1234] = 0;
    figures.tones.latest[1234] = 0;
    figures.tones.snr_latest[1234] = 0;
    const std::string page = line_report_html(figures);
    const std::string bits = section(page, 4);
    EXPECT_DOUBLE_EQ(lowest_point(bits, "band"), frame_bottom(bits));
    EXPECT_DOUBLE_EQ(lowest_point(bits, "latest"), frame_bottom(bits));
    const std::string snr = section(page, 7);
    EXPECT_DOUBLE_EQ(lowest_point(snr, "latest"), frame_bottom(snr));
}

TEST(ReportLinePage, WhatTheFiguresLackIsSaidInOneLine) {
    LineLogsFigures figures = made_figures(512, 24, 24);
    figures.tones.snr_latest.assign(512, std::nanf(""));
    figures.tones.snr_lowest.assign(512, std::nanf(""));
    std::string snr = section(line_report_html(figures), 7);
    EXPECT_EQ(snr,
              "<h2>7. SNR per tone</h2><p class=\"note\">The router gave no SNR per tone.</p>");

    figures.line = LineLogFigures();
    figures.line_read = LogRead::missing;
    const std::string page = line_report_html(figures);
    for (const int number : {2, 3}) {
        EXPECT_NE(section(page, number).find("No line log in the period."), std::string::npos);
        EXPECT_EQ(section(page, number).find("<svg"), std::string::npos);
    }
    EXPECT_NE(section(page, 8).find("not found"), std::string::npos);
}

TEST(ReportLinePage, TheBiggestFiguresGiveAPageUnderTwoMebibytesOfRealNumbers) {
    LineLogsFigures figures = made_figures(4096, most_buckets, most_heat_columns);
    LineLogFigures& line = figures.line;
    for (std::size_t bucket = 0; bucket < most_buckets; ++bucket) {
        for (std::size_t direction = 0; direction < 2; ++direction) {
            LineDirection& of = line.directions[direction];
            for (std::size_t counter = 0; counter < line_counters; ++counter)
                of.counter_buckets[bucket][counter] =
                    static_cast<std::int64_t>((bucket * 7919 + counter * 104729) % 3600);
            if (bucket % 50 == 49) continue;  // nothing collected: the lines break there
            const double wobble = static_cast<double>(bucket % 13);
            of.rate_buckets[bucket].add(67000.5 - wobble * 211.7);
            of.rate_buckets[bucket].add(69000.25 + wobble);
            of.attainable_buckets[bucket].add(81234.75 + wobble * 3.1);
            of.snr_margin_buckets[bucket].add(6.1 + wobble / 7);
        }
        if (bucket % 50 == 49) line.collections_per_bucket[bucket] = 0;
        if (bucket % 5 == 0) {  // 200 retrains, two in each of 100 buckets
            line.retrain_buckets[bucket] = 2;
            line.retrain_count += 2;
            const WallMinute at = start + static_cast<WallMinute>(bucket) * minutes_per_hour;
            line.retrains.push_back({at + 1, true});
            line.retrains.push_back({at + 9, false});
        }
    }
    TonesLogFigures& tones = figures.tones;
    for (std::size_t tone = 0; tone < 4096; ++tone) {
        const auto bits = static_cast<std::int32_t>(tone * 7 % 16);
        tones.lowest[tone] = tone % 97 == 0 ? -1 : bits / 2;
        tones.highest[tone] = tone % 97 == 0 ? -1 : bits;
        tones.latest[tone] = tone % 89 == 0 ? -1 : bits;
        tones.changes[tone] = static_cast<std::int64_t>(tone * 31 % 1000);
        tones.snr_latest[tone] = tone % 7 == 0 ? std::nanf("") : static_cast<float>(tone % 53);
        tones.snr_lowest[tone] = tone % 5 == 0 ? std::nanf("") : static_cast<float>(tone % 41);
    }
    // A heat map whose every cell differs from the next: no two make one run.
    tones.heat_rows = most_heat_rows;
    tones.tones_per_heat_row = 16;
    const std::size_t cells = std::size_t{most_heat_columns} * most_heat_rows;
    tones.heat_counts.assign(cells, 1);
    tones.heat_sums.resize(cells);
    for (std::size_t cell = 0; cell < cells; ++cell)
        tones.heat_sums[cell] = static_cast<double>((cell + cell / most_heat_rows) % 2 * 15);

    const std::string page = line_report_html(figures);
    EXPECT_LT(page.size(), std::size_t{2} << 20);
    EXPECT_TRUE(page.starts_with("<!DOCTYPE html>"));
    EXPECT_TRUE(page.ends_with("</html>\n"));
    EXPECT_EQ(not_a_number_word(page), "");
    EXPECT_NE(section(page, 1).find("and 180 more"), std::string::npos);
}

}  // namespace
