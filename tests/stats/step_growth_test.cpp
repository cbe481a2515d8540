// The log steps' cost grows with the reply's size, not with its square: each step is timed on a
// reply and on one eight times larger, in more lines and in longer lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>

#include "settings/settings.h"
#include "stats/bins_log.h"
#include "stats/statistics_log.h"
#include "stats_test_env.h"
#include "tools/router_replies.h"

namespace {

using Clock = std::chrono::steady_clock;

// Eight times the reply takes eight times as long when the step is linear and sixty-four times
// when it is quadratic; the limit, four times linear and half of quadratic, leaves room for caches
// and a busy machine either way.
constexpr int scale = 8;
constexpr double growth_limit = 32.0;

// A status reply of `lines` lines of `width` characters, each with a label and a value in dB.
std::string status_reply(int lines, int width) {
    std::string reply;
    for (int k = 0; k < lines; ++k) {
        std::string line = "Label " + std::to_string(k) + " =\t\t" + std::to_string(k % 97) + " dB";
        line.resize(static_cast<std::size_t>(width), 'v');
        reply += line + "\r\n";
    }
    return reply + "> ";
}

// The showbins reply with every line padded with blanks to `width` characters, followed by
// `lines` further lines of that width.
std::string bins_reply(int lines, int width) {
    const std::string table = showbins_reply(0);
    std::string reply;
    std::size_t start = 0;
    for (auto end = table.find("\r\n"); end != std::string::npos; end = table.find("\r\n", start)) {
        std::string line = table.substr(start, end - start);
        line.resize(std::max(line.size(), static_cast<std::size_t>(width)), ' ');
        reply += line + "\r\n";
        start = end + 2;
    }
    return reply + status_reply(lines, width);
}

// The shortest of a few runs of the step on reply: the one least disturbed by the rest of the
// machine. The log is already there, so every run appends one data line.
double best_seconds(const std::function<LogStep()>& step, const std::string& reply) {
    settings.received_text = reply;
    Clock::duration best = Clock::duration::max();
    for (int run = 0; run < 7; ++run) {
        const auto start = Clock::now();
        EXPECT_EQ(step(), LogStep::done);
        best = std::min(best, Clock::now() - start);
    }
    return std::chrono::duration<double>(best).count();
}

struct GrowthCase {
    const char* name;
    std::function<LogStep()> step;
    std::function<std::string(int scale)> reply;
};

using StepGrowth = StatsTest;

TEST_F(StepGrowth, StepsTakeTimeInProportionToTheReply) {
    const GrowthCase cases[] = {
        {"statistics, more lines", write_statistics,
         [](int s) { return status_reply(1000 * s, 40); }},
        {"statistics, longer lines", write_statistics,
         [](int s) { return status_reply(100, 400 * s); }},
        {"bins, more lines", write_bins, [](int s) { return bins_reply(1000 * s, 40); }},
        {"bins, longer lines", write_bins, [](int s) { return bins_reply(100, 400 * s); }},
    };
    for (const GrowthCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string small = c.reply(1);
        const std::string large = c.reply(scale);
        settings.received_text = small;
        ASSERT_EQ(c.step(), LogStep::done);  // creates the log: later runs only append
        const double small_seconds = best_seconds(c.step, small);
        const double large_seconds = best_seconds(c.step, large);
        EXPECT_LT(large_seconds, growth_limit * small_seconds)
            << small.size() << " bytes: " << small_seconds * 1e6 << " us; " << large.size()
            << " bytes: " << large_seconds * 1e6 << " us";
    }
}

}  // namespace
