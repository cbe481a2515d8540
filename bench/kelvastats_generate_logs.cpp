// kelvastats-generate-logs: writes logs of a long run at one collection a minute, through the
// program's own log steps with a hand-set clock and the simulated router's replies, for the
// report's benchmark and its screenshot. The same arguments always give the same logs.
//
// With --router broadcom or draytek it writes the line and tones logs instead: each minute the
// simulated router's replies for its line model (tools/line_model.h, a VDSL2 17a line by default,
// with bitswap every minute, a retrain every few days, and CRC errors mostly in the evening and in
// rare bursts) go through the family's own readers and the line step, as the collector's would,
// but for a few gaps of minutes to hours, the stamps in local time with its UTC offset. --truth
// writes what went into those logs, worked out from the model's figures.
//
// Without --router, the classic logs of the line it pretends to watch: error counters that grow
// irregularly (more in the evening, in bursts), a retrain every ten days that resets the counters
// and costs the upper tones bits for a day, and some gaps of minutes to hours.
//
// Both modes keep local time by the European rule: +01:00 in winter, +02:00 in summer from 01:00
// UTC on the last Sunday of March to 01:00 UTC on the last Sunday of October, so the clock goes
// forward from 02:00 to 03:00 in March and back from 03:00 to 02:00 in October.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "harness/quiet_calls.h"
#include "report/wall_minutes.h"
#include "routers/router_families.h"
#include "runtime/date.h"
#include "runtime/file_layer.h"
#include "settings/settings.h"
#include "stats/bins_log.h"
#include "stats/line_step.h"
#include "stats/pending_lines.h"
#include "stats/statistics_log.h"
#include "stats/status_line.h"
#include "tools/broadcom_replies.h"
#include "tools/draytek_replies.h"
#include "tools/line_model.h"
#include "tools/router_replies.h"

namespace {

constexpr std::int32_t retrain_every_days = 10;
constexpr std::int32_t bit_variants = 15;  // the simulated router's bit loading repeats after 15

// A small fixed pseudo-random sequence, so every run writes the same logs.
class Dice {
  public:
    std::uint32_t roll(std::uint32_t sides) {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state_ >> 33) % sides;
    }

  private:
    std::uint64_t state_ = 20261207;
};

WallClock clock_now;
WallClock read_clock() {
    return clock_now;
}

constexpr int winter_offset_minutes = 60;
constexpr int summer_offset_minutes = 120;

// 01:00 UTC on the last Sunday of the month, as a minute of UTC.
WallMinute last_sunday_1am(int year, int month) {
    WallMinute day = minute_of({year, month, 31, 0, 0});
    // 2000-01-02 was a Sunday: day 1 of the count.
    while (((day / minutes_per_day) - 1) % 7 != 0) day -= minutes_per_day;
    return day + minutes_per_hour;
}

// The UTC offset of the local time at a minute of UTC.
int utc_offset_at(WallMinute utc) {
    const int year = stamp_fields(std::max(utc, WallMinute{0})).year;
    const bool summer = utc >= last_sunday_1am(year, 3) && utc < last_sunday_1am(year, 10);
    return summer ? summer_offset_minutes : winter_offset_minutes;
}

// The minute of UTC at which the local day `start` begins (midnight never falls in a change).
WallMinute utc_of_local_midnight(WallMinute start) {
    return start - utc_offset_at(start - winter_offset_minutes);
}

// A local time: its wall-clock minute and its offset.
struct LocalMinute {
    WallMinute minute = 0;
    int utc_offset_minutes = 0;
};

LocalMinute local_time(WallMinute utc) {
    const int offset = utc_offset_at(utc);
    return {utc + offset, offset};
}

// Sets the clock the log steps read to a local minute, second 0.
StampFields set_clock(const LocalMinute& local) {
    const StampFields now = stamp_fields(local.minute);
    clock_now = {now.year, now.month, now.day, now.hour, now.minute, 0, local.utc_offset_minutes};
    return now;
}

// The showbins reply after a retrain on a noisy day: tones from `first_tone` up carry `drop`
// bits fewer. The bits stand in columns 15 and 16 of each 20-character cell.
std::string degraded(std::string reply, std::int32_t first_tone, std::int32_t drop) {
    std::size_t line_start = 0;
    for (std::int32_t line = 1; line <= 63; ++line) {
        const std::size_t feed = reply.find('\n', line_start);
        if (feed == std::string::npos) break;
        for (std::int32_t cell = 0; line >= 6 && cell < 4; ++cell) {
            const std::int32_t tone = (line - 6) * 4 + cell;
            const std::size_t at = line_start + static_cast<std::size_t>(cell) * 20 + 15;
            if (tone < first_tone || at + 2 > feed) continue;
            const int bits = std::stoi(reply.substr(at, 2));
            const int lowered = bits > drop ? bits - drop : 0;
            reply[at] = lowered >= 10 ? static_cast<char>('0' + lowered / 10) : ' ';
            reply[at + 1] = static_cast<char>('0' + lowered % 10);
        }
        line_start = feed + 1;
    }
    return reply;
}

struct Gaps {
    std::vector<std::int64_t> starts;  // minute of the run
    std::vector<std::int32_t> lengths;
    void add(std::int64_t start, std::int32_t length) {
        starts.push_back(start);
        lengths.push_back(length);
    }
    bool covers(std::int64_t minute) const {
        for (std::size_t k = 0; k < starts.size(); ++k)
            if (minute >= starts[k] && minute < starts[k] + lengths[k]) return true;
        return false;
    }
};

Gaps some_gaps(std::int32_t days, Dice& dice) {
    static constexpr std::int32_t lengths[] = {4, 9, 17, 30, 55, 95, 180, 360, 12, 700};
    Gaps gaps;
    const std::int64_t minutes = static_cast<std::int64_t>(days) * minutes_per_day;
    for (const std::int32_t length : lengths) {
        if (minutes < 4 * length) continue;
        gaps.add(dice.roll(static_cast<std::uint32_t>(minutes - 2 * length)) + length / 2, length);
    }
    return gaps;
}

constexpr std::string_view usage_text =
    "Usage: kelvastats-generate-logs DIR [--days N] [--start YYYY-MM-DD]\n"
    "                                [--router broadcom|draytek [--line adsl2plus|vdsl17a]]\n"
    "                                [--truth FILE]\n"
    "Appends N days (default 365) of collections at one a minute, from 00:00 local time of\n"
    "the start day (default 2026-01-01), to kelvastats.csv and kelvabins.csv in DIR; with\n"
    "--router, to kelvaline.csv and kelvatones.csv, the logs of that family, of a VDSL2 17a\n"
    "line by default: bitswap every minute, a retrain every 2 to 6 days, CRC errors mostly in\n"
    "the evening (19:00 to 22:59) and in rare bursts, and a few gaps of minutes to hours in\n"
    "which nothing is logged. Local time is +01:00 in winter and +02:00 in summer, the clocks\n"
    "going forward on the last Sunday of March and back on the last Sunday of October.\n"
    "The same arguments always give the same logs.\n"
    "\n"
    "--truth FILE (with --router broadcom only: DrayTek's reply gives the SNR margins in\n"
    "whole dB) writes to FILE what the logs were given, worked out from the line's own\n"
    "figures over the collections logged, in the form of the report's key figures:\n"
    "  retrains: N\n"
    "  errors down: FEC N, CRC N, ES N, SES N, UAS N\n"
    "  errors up: FEC N, CRC N, ES N, SES N, UAS N\n"
    "  worst CRC hour: dd/mm/yy hh:00, N errors        (or \"worst CRC hour: none\")\n"
    "  SNR margin down: lowest X, highest Y, latest Z  (dB)\n"
    "  SNR margin up: lowest X, highest Y, latest Z\n"
    "A retrain is a logged collection whose training differs from that of the collection\n"
    "logged before it. A counter's growth at a logged collection is its change since the one\n"
    "logged before, or its whole count since the link came up when the line retrained in\n"
    "between; the first logged collection adds none. Down is what the modem receives, up the\n"
    "far end. The worst CRC hour is the local hour (the hour the clocks go back counts once)\n"
    "with the most CRC growth of both directions, the earliest of equal ones.\n";

int usage() {
    std::fputs(usage_text.data(), stderr);
    return 1;
}

// Closes the logs and says how long the run took.
int ended(std::int64_t collections, std::chrono::steady_clock::time_point began) {
    close_all_files();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("%lld collections in %.1f s (%.1f us each)\n", static_cast<long long>(collections),
                seconds, seconds * 1e6 / static_cast<double>(collections));
    return 0;
}

// The replies the family's router gives for the line at one collection, in the order of the
// family's commands; the hourly ones only when `hourly`.
std::vector<std::string> family_replies(const RouterFamily& family, const LineCollection& line,
                                        bool hourly) {
    if (family.name == "broadcom") {
        return {broadcom_stats_reply(line), broadcom_bits_reply(line),
                hourly ? broadcom_snr_reply(line) : std::string()};
    }
    return {draytek_status_reply(line), draytek_status_more_reply(line),
            draytek_showbins_reply(line)};
}

// The collections the line logs leave out, as when the collector was not running: minutes to
// hours at fixed fractions of the run (each where the run is 20 times as long), and in a run of
// two months or more one across the first retrain after its middle.
Gaps line_gaps(const LineModelOptions& model, std::int64_t minutes) {
    static constexpr std::pair<std::int64_t, std::int32_t> fixed[] = {
        {120, 5}, {300, 17}, {700, 160}, {900, 240}};  // thousandths of the run, minutes
    Gaps gaps;
    for (const auto& [at, length] : fixed)
        if (minutes >= 20 * length) gaps.add(minutes * at / 1000, length);
    if (minutes >= 60 * minutes_per_day) {
        const std::int64_t retrain = next_retrain(model, static_cast<int>(minutes / 2));
        if (retrain >= 0 && retrain < minutes * 650 / 1000) gaps.add(retrain - 35, 95);
    }
    return gaps;
}

// What went into the line logs, as the report's key figures give it, from the model's figures of
// the collections logged.
class Truth {
  public:
    void add(const LineCollection& line, WallMinute local_minute) {
        if (logged_) {
            // After a retrain the counts are those since the new link came up.
            const bool same_train = line.train == previous_train_;
            const LineCounts before = same_train ? previous_ : LineCounts{};
            if (!same_train) ++retrains_;
            for (const auto& [name, counter] : counters) {
                (growth_.*counter).down += (line.counts.*counter).down - (before.*counter).down;
                (growth_.*counter).up += (line.counts.*counter).up - (before.*counter).up;
            }
            crc_by_hour_[local_minute - local_minute % minutes_per_hour] +=
                line.counts.crc.down - before.crc.down + line.counts.crc.up - before.crc.up;
        }
        logged_ = true;
        previous_train_ = line.train;
        previous_ = line.counts;
        if (line.showtime) {
            margin_down_.add(line.snr_margin_tenths.down);
            margin_up_.add(line.snr_margin_tenths.up);
        }
    }

    std::string text() const {
        std::string text = "retrains: " + std::to_string(retrains_) + "\n";
        for (const auto& [direction, side] : {std::pair{"down", &DownUp<std::uint64_t>::down},
                                              std::pair{"up", &DownUp<std::uint64_t>::up}}) {
            text += std::string("errors ") + direction + ":";
            const char* comma = " ";
            for (const auto& [name, counter] : counters) {
                text += std::string(comma) + name + " " + std::to_string((growth_.*counter).*side);
                comma = ", ";
            }
            text += "\n";
        }
        WallMinute worst = -1;
        std::uint64_t most = 0;
        for (const auto& [hour, crc] : crc_by_hour_) {
            if (crc > most) {
                worst = hour;
                most = crc;
            }
        }
        text += "worst CRC hour: ";
        text += worst < 0 ? "none" : format_stamp(worst) + ", " + std::to_string(most) + " errors";
        text += "\nSNR margin down: " + margin_down_.text();
        text += "\nSNR margin up: " + margin_up_.text() + "\n";
        return text;
    }

  private:
    using Counter = DownUp<std::uint64_t> LineCounts::*;
    static constexpr std::array<std::pair<const char*, Counter>, 5> counters = {{
        {"FEC", &LineCounts::fec},
        {"CRC", &LineCounts::crc},
        {"ES", &LineCounts::es},
        {"SES", &LineCounts::ses},
        {"UAS", &LineCounts::uas},
    }};

    struct TenthsRange {
        bool any = false;
        std::int32_t lowest = 0, highest = 0, latest = 0;
        void add(std::int32_t tenths) {
            lowest = any ? std::min(lowest, tenths) : tenths;
            highest = any ? std::max(highest, tenths) : tenths;
            latest = tenths;
            any = true;
        }
        std::string text() const {
            if (!any) return "none";
            return "lowest " + decibel_text(lowest) + ", highest " + decibel_text(highest) +
                   ", latest " + decibel_text(latest);
        }
    };

    bool logged_ = false;
    int previous_train_ = 0;
    LineCounts previous_;
    std::int64_t retrains_ = 0;
    LineCounts growth_;
    std::map<WallMinute, std::uint64_t> crc_by_hour_;  // the local hour's first minute
    TenthsRange margin_down_, margin_up_;
};

struct LineRun {
    const RouterFamily* family = nullptr;
    LineKind kind = LineKind::vdsl17a;
    std::int32_t days = 0;
    WallMinute start = 0;
    std::string truth_path;  // "" for none
};

// The line and tones logs of the run at one collection a minute, but for the gaps.
int generate_line_logs(const LineRun& run) {
    const RouterFamily& family = *run.family;
    const WallMinute first_utc = utc_of_local_midnight(run.start);
    LineModelOptions model;
    model.kind = run.kind;
    // A line of its own for each start day, so that runs from different days differ.
    model.seed = static_cast<std::uint32_t>(run.start / minutes_per_day);
    // A retrain every two to six days, as a line with an occasional fault has.
    model.train_shortest = 2 * minutes_per_day;
    model.train_spread = 4 * minutes_per_day;
    // The evening of the line's interference is that of winter time all year.
    model.error_bursts = true;
    model.first_minute_of_day = (first_utc + winter_offset_minutes) % minutes_per_day;
    LineWalker walker(model);
    Truth truth;
    const auto began = std::chrono::steady_clock::now();
    const std::int64_t minutes = static_cast<std::int64_t>(run.days) * minutes_per_day;
    const Gaps gaps = line_gaps(model, minutes);
    std::int64_t collections = 0;
    // As the collector, the hourly commands in the first collection of each local hour.
    WallMinute hourly_sent_in = -1;
    for (std::int64_t minute = 0; minute < minutes; ++minute) {
        if (gaps.covers(minute)) continue;
        const LocalMinute local = local_time(static_cast<WallMinute>(first_utc + minute));
        set_clock(local);
        const LineCollection& line = walker.at(static_cast<int>(minute));
        const WallMinute hour = local.minute / minutes_per_hour;
        const bool hourly = hour != hourly_sent_in;
        hourly_sent_in = hour;
        const std::vector<std::string> replies = family_replies(family, line, hourly);
        LineRecord record;
        for (std::size_t command = 0; command < family.commands.size(); ++command) {
            if (family.commands[command].hourly && replies[command].empty()) continue;
            family.commands[command].read_reply(replies[command], record);
        }
        write_line_logs(record);
        truth.add(line, local.minute);
        ++collections;
    }
    if (!run.truth_path.empty()) {
        std::FILE* file = std::fopen(run.truth_path.c_str(), "wb");
        const std::string text = truth.text();
        if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
            std::fclose(file) != 0) {
            std::fprintf(stderr, "kelvastats-generate-logs: cannot write %s\n",
                         run.truth_path.c_str());
            return 1;
        }
    }
    return ended(collections, began);
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    LineRun run;
    run.days = 365;
    run.start = read_day("2026-01-01");
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage_text.data(), stdout);
            return 0;
        } else if (arg == "--router" && k + 1 < argc) {
            run.family = find_router_family(argv[++k]);
            if (run.family == nullptr || run.family->user_prompt.empty()) return usage();
        } else if (arg == "--line" && k + 1 < argc) {
            if (!line_kind_named(argv[++k], run.kind)) return usage();
        } else if (arg == "--days" && k + 1 < argc) {
            run.days = std::stoi(argv[++k]);
        } else if (arg == "--start" && k + 1 < argc) {
            run.start = read_day(argv[++k]);
        } else if (arg == "--truth" && k + 1 < argc) {
            run.truth_path = std::filesystem::absolute(argv[++k]).string();
        } else if (!arg.starts_with("-") && dir.empty()) {
            dir = arg;
        } else {
            return usage();
        }
    }
    if (dir.empty() || run.days < 1 || run.days > 36500 || run.start < 0) return usage();
    if (!run.truth_path.empty() && (run.family == nullptr || run.family->name != "broadcom")) {
        std::fputs("kelvastats-generate-logs: --truth goes with --router broadcom only\n", stderr);
        return usage();
    }
    std::error_code error;
    std::filesystem::current_path(dir, error);
    if (error) {
        std::fprintf(stderr, "kelvastats-generate-logs: cannot enter %s\n", dir.c_str());
        return 1;
    }

    install_quiet_calls();
    reset_settings_to_defaults();
    reset_pending_log_lines();
    reset_collection_status();
    set_clock_source(&read_clock);
    if (run.family != nullptr) return generate_line_logs(run);

    const std::int32_t days = run.days;
    const WallMinute first_utc = utc_of_local_midnight(run.start);
    Dice dice;
    const Gaps gaps = some_gaps(days, dice);
    std::vector<std::string> bins_replies, noisy_bins_replies;
    for (std::int32_t variant = 0; variant < bit_variants; ++variant) {
        bins_replies.push_back(showbins_reply(variant));
        noisy_bins_replies.push_back(degraded(bins_replies.back(), 120, 3));
    }
    LineCounters counters;
    const auto began = std::chrono::steady_clock::now();
    std::int64_t collections = 0;
    const std::int64_t minutes = static_cast<std::int64_t>(days) * minutes_per_day;
    for (std::int64_t minute = 0; minute < minutes; ++minute) {
        const StampFields now = set_clock(local_time(static_cast<WallMinute>(first_utc + minute)));
        const std::int32_t day = static_cast<std::int32_t>(minute / minutes_per_day);
        const bool retrain = minute > 0 && minute % (retrain_every_days * minutes_per_day) == 0;
        if (retrain) counters = {};
        // Errors grow irregularly: a little always, more in the evening, now and then a burst.
        counters.fec += static_cast<std::int32_t>(dice.roll(6));
        const bool evening = now.hour >= 19 && now.hour <= 22;
        if (dice.roll(evening ? 4 : 40) == 0)
            counters.crc += 1 + static_cast<std::int32_t>(dice.roll(3));
        if (dice.roll(20000) == 0) counters.crc += 40 + static_cast<std::int32_t>(dice.roll(60));
        if (dice.roll(3000) == 0) ++counters.hec;
        if (gaps.covers(minute)) continue;

        settings.received_text = show_adsl_reply(counters);
        write_statistics();
        // Evening interference shifts the loading of many tones every few minutes.
        const auto variant = static_cast<std::size_t>(evening ? minute / 7 % bit_variants : 0);
        const bool noisy = day % retrain_every_days == 0 && day > 0;
        settings.received_text = noisy ? noisy_bins_replies[variant] : bins_replies[variant];
        write_bins();
        ++collections;
    }
    return ended(collections, began);
}
