// The pacing run: the real worker on its own thread, at the real 300 ms pause, against the
// simulated router, told by the pass observer when each poll, send and pause happened.
#include "bench/pacing_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "collect/collection_worker.h"
#include "collect/threads.h"
#include "harness/pass_probe.h"
#include "harness/quiet_calls.h"
#include "harness/temp_dir.h"
#include "harness/thread_switches.h"
#include "settings/settings.h"
#include "tools/router_sim.h"

namespace {

using Clock = ProbeClock;

// The pace the worker must keep.
constexpr double pause_tolerance_ms = 5.0;
constexpr double dialog_limit_ms = 1250.0;
constexpr std::size_t answering_passes = 4;  // password, "show adsl", "adsl showbins", "exit"
constexpr auto idle_watch = std::chrono::seconds(1);
constexpr auto generous = std::chrono::seconds(30);

// Prints one cycle's passes, times from the connect, and says whether it kept the pace.
bool check_cycle(int number, const std::vector<PassRecord>& passes, Clock::time_point closed_at) {
    const Clock::time_point connected = passes.front().connected_at;
    std::printf("cycle %d: %zu passes, connect to close %.1f ms\n", number, passes.size(),
                ms_between(connected, closed_at));
    std::printf("  pass   poll ms   sent ms  pause ms  state\n");
    bool kept = true;
    const auto fail = [&kept](const char* what, double value) {
        std::printf("  FAILED: %s (%.2f)\n", what, value);
        kept = false;
    };
    for (std::size_t k = 0; k < passes.size(); ++k) {
        const PassRecord& pass = passes[k];
        const double pause_ms = ms_between(pass.pause_began_at, pass.pause_ended_at);
        char sent[16] = "-";
        if (pass.sent_at != Clock::time_point{})
            std::snprintf(sent, sizeof sent, "%.2f", ms_between(connected, pass.sent_at));
        std::printf("  %4d %9.2f %9s %9.2f %6d\n", pass.pass, ms_between(connected, pass.polled_at),
                    sent, pause_ms, pass.dialog_state);
        if (pause_ms < pass_pause_ms || pause_ms > pass_pause_ms + pause_tolerance_ms)
            fail("pause outside 300 ms to 305 ms", pause_ms);
        if (k > 0) {
            const double gap_ms = ms_between(passes[k - 1].polled_at, pass.polled_at);
            // Between the pause and the next poll are only the answer and the log steps.
            if (gap_ms < pass_pause_ms || gap_ms > pass_pause_ms + 2 * pause_tolerance_ms)
                fail("poll to poll outside 300 ms to 310 ms", gap_ms);
        }
    }
    if (ms_between(connected, passes.front().polled_at) > pause_tolerance_ms)
        fail("first poll not right after the connect",
             ms_between(connected, passes.front().polled_at));
    // The router greets once it has accepted the connection, so the first poll, which follows the
    // connect at once, may come before the greeting: one empty pass, then one answer per pass.
    const std::size_t empty = passes.size() - std::min(passes.size(), answering_passes);
    if (passes.size() < answering_passes || empty > 1)
        fail("passes of a dialog", static_cast<double>(passes.size()));
    for (std::size_t k = empty; k < passes.size(); ++k) {
        if (passes[k].sent_at == Clock::time_point{})
            fail("a pass without its answer", static_cast<double>(k + 1));
    }
    if (empty < passes.size()) {
        const double dialog_ms = ms_between(passes[empty].polled_at, closed_at);
        if (dialog_ms >= dialog_limit_ms) fail("greeting's poll to close over 1250 ms", dialog_ms);
    }
    return kept;
}

}  // namespace

bool run_pacing(int cycles) {
    TempDir dir("kelva-bench-pacing-");
    if (!dir.enter()) return false;

    reset_settings_to_defaults();
    settings.router_address = "127.0.0.1";
    settings.password = "secret";
    settings.interval_ms = 0;
    install_quiet_calls();
    cycle_timing.pass_pause_ms = pass_pause_ms;
    start_pass_probe(static_cast<std::size_t>(cycles));

    RouterSim router;
    bool kept = router.start();
    if (!kept)
        std::printf("FAILED: the simulated router did not start: %s\n", router.error().c_str());
    ThreadRecord* worker = nullptr;
    if (kept) {
        settings.port = router.port();
        worker = start_thread(&run_collection_worker, settings.worker_parameter);
        kept = wait_for_closed_cycles(static_cast<std::size_t>(cycles), generous);
        if (!kept) std::printf("FAILED: %d cycles did not end in time\n", cycles);
    }

    std::printf("\nPacing against the simulated router (pause %u ms):\n", pass_pause_ms);
    const ProbedPasses probed = probed_passes();
    double slowest_ms = 0;
    double fastest_ms = 1e9;
    for (std::size_t k = 0; k < probed.closed_at.size(); ++k) {
        kept = check_cycle(static_cast<int>(k + 1), probed.cycles[k], probed.closed_at[k]) && kept;
        const double dialog_ms =
            ms_between(probed.cycles[k].front().connected_at, probed.closed_at[k]);
        slowest_ms = std::max(slowest_ms, dialog_ms);
        fastest_ms = std::min(fastest_ms, dialog_ms);
    }

    if (worker != nullptr && kept) {
        // The worker is on its way into the hour's interval wait; falling asleep is one switch.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const long before = context_switches(probed.worker_tid);
        std::this_thread::sleep_for(idle_watch);
        const long woken = context_switches(probed.worker_tid) - before;
        std::printf("worker during 1 s of its interval wait: %ld context switches\n", woken);
        if (woken > 0) kept = false;
    }
    if (worker != nullptr) kill_thread(worker);
    stop_pass_probe();
    remove_quiet_calls();
    router.stop();

    std::printf("connect to close: %.1f ms to %.1f ms over %zu cycles\n", fastest_ms, slowest_ms,
                probed.closed_at.size());
    std::printf("pacing: %s\n", kept ? "OK" : "FAILED");
    return kept;
}
