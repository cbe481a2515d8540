// kelvastats_collection_timing: the time of one whole collection (the statistics and bins steps
// on the router's replies, real logs in a temporary directory) without Google Benchmark, so the
// Windows build can be measured too, under Wine. Prints the median of five rounds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/quiet_calls.h"
#include "harness/temp_dir.h"
#include "settings/settings.h"
#include "stats/bins_log.h"
#include "stats/pending_lines.h"
#include "stats/statistics_log.h"
#include "stats/status_line.h"
#include "tools/router_replies.h"

namespace {

constexpr int rounds = 5;
constexpr int collections_per_round = 1000;

}  // namespace

int main() {
    TempDir dir("kelva-timing-");
    if (!dir.enter()) return 1;
    install_quiet_calls();
    reset_settings_to_defaults();
    reset_pending_log_lines();
    reset_collection_status();
    const std::string status = show_adsl_reply({812, 3, 1, 0, 0});
    const std::string bins = showbins_reply(0);

    using Clock = std::chrono::steady_clock;
    std::vector<double> per_collection_us;
    for (int round = 0; round < rounds; ++round) {
        const auto start = Clock::now();
        for (int k = 0; k < collections_per_round; ++k) {
            settings.received_text = status;
            write_statistics();
            settings.received_text = bins;
            write_bins();
        }
        const std::chrono::duration<double, std::micro> took = Clock::now() - start;
        per_collection_us.push_back(took.count() / collections_per_round);
    }
    std::sort(per_collection_us.begin(), per_collection_us.end());
    std::printf("one collection: %.1f us (median of %d rounds of %d; fastest %.1f, slowest %.1f)\n",
                per_collection_us[rounds / 2], rounds, collections_per_round,
                per_collection_us.front(), per_collection_us.back());
    remove_quiet_calls();
    return dir.leave() ? 0 : 1;
}
