// kelvastats-generate-logs: writes logs of a long run at one collection a minute, through the
// program's own log steps with a hand-set clock and the simulated router's replies, for the
// report's benchmark and its screenshot. The same arguments always give the same logs.
//
// With --router broadcom or draytek it writes the line and tones logs instead: each minute the
// simulated router's replies for its line model (tools/line_model.h, a VDSL2 17a line by default,
// with bitswap every minute and a retrain every few days) go through the family's own readers
// and the line step, as the collector's would.
//
// The line it pretends to watch: error counters that grow irregularly (more in the evening, in
// bursts), a retrain every ten days that resets the counters and costs the upper tones bits for a
// day, some gaps of minutes to hours, and the clock going forward an hour on the last Sunday of
// March and back an hour on the last Sunday of October.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
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
        gaps.starts.push_back(dice.roll(static_cast<std::uint32_t>(minutes - 2 * length)) +
                              length / 2);
        gaps.lengths.push_back(length);
    }
    return gaps;
}

int usage() {
    std::fputs(
        "Usage: kelvastats-generate-logs DIR [--days N] [--start YYYY-MM-DD]\n"
        "                                [--router broadcom|draytek [--line adsl2plus|vdsl17a]]\n"
        "Appends N days (default 365) of collections at one a minute, from the start day\n"
        "(default 2026-01-01), to kelvastats.csv and kelvabins.csv in DIR; with --router, to\n"
        "kelvaline.csv and kelvatones.csv, the logs of that family.\n",
        stderr);
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

// The line and tones logs of `days` at one collection a minute, the clock in winter time.
int generate_line_logs(const RouterFamily& family, LineKind kind, std::int32_t days,
                       WallMinute start) {
    LineModelOptions model;
    model.kind = kind;
    // A retrain every two to six days, as a line with an occasional fault has.
    model.train_shortest = 2 * minutes_per_day;
    model.train_spread = 4 * minutes_per_day;
    const auto began = std::chrono::steady_clock::now();
    const std::int64_t minutes = static_cast<std::int64_t>(days) * minutes_per_day;
    for (std::int64_t minute = 0; minute < minutes; ++minute) {
        const StampFields now = stamp_fields(static_cast<WallMinute>(start + minute));
        clock_now = {now.year, now.month, now.day, now.hour, now.minute, 0};
        const LineCollection line = line_collection(model, static_cast<int>(minute));
        const std::vector<std::string> replies =
            family_replies(family, line, now.minute == 0 || minute == 0);
        LineRecord record;
        for (std::size_t command = 0; command < family.commands.size(); ++command) {
            if (family.commands[command].hourly && replies[command].empty()) continue;
            family.commands[command].read_reply(replies[command], record);
        }
        write_line_logs(record);
    }
    return ended(minutes, began);
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    std::int32_t days = 365;
    WallMinute start = read_day("2026-01-01");
    const RouterFamily* family = nullptr;
    LineKind line = LineKind::vdsl17a;
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (arg == "--router" && k + 1 < argc) {
            family = find_router_family(argv[++k]);
            if (family == nullptr || family->user_prompt.empty()) return usage();
        } else if (arg == "--line" && k + 1 < argc) {
            if (!line_kind_named(argv[++k], line)) return usage();
        } else if (arg == "--days" && k + 1 < argc) {
            days = std::stoi(argv[++k]);
        } else if (arg == "--start" && k + 1 < argc) {
            start = read_day(argv[++k]);
        } else if (!arg.starts_with("-") && dir.empty()) {
            dir = arg;
        } else {
            return usage();
        }
    }
    if (dir.empty() || days < 1 || start < 0) return usage();
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
    if (family != nullptr) return generate_line_logs(*family, line, days, start);

    // The clock changes of the start's year: the last Sundays of March and October, 02:00.
    const int year = stamp_fields(start).year;
    const auto last_sunday_2am = [&](int month) {
        WallMinute day = minute_of({year, month, 31, 0, 0});
        // 2000-01-02 was a Sunday: day 1 of the count.
        while (((day / minutes_per_day) - 1) % 7 != 0) day -= minutes_per_day;
        return day + 2 * minutes_per_hour;
    };
    const WallMinute summer_from = last_sunday_2am(3);  // in winter time
    const WallMinute summer_until = last_sunday_2am(10);

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
        const auto winter = static_cast<WallMinute>(start + minute);
        const bool summer = winter >= summer_from && winter < summer_until;
        const StampFields now = stamp_fields(winter + (summer ? minutes_per_hour : 0));
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

        clock_now = {now.year, now.month, now.day, now.hour, now.minute, 0};
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
