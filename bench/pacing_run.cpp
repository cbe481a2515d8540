// The pacing run: the real worker on its own thread, at the real 300 ms pause, against the
// simulated router, told by the pass observer when each poll, send and pause happened.
#include "bench/pacing_run.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "collect/collection_worker.h"
#include "collect/threads.h"
#include "runtime/tone.h"
#include "runtime/ui_calls.h"
#include "tools/router_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

// The pace the worker must keep.
constexpr double pause_tolerance_ms = 5.0;
constexpr double dialog_limit_ms = 1250.0;
constexpr std::size_t answering_passes = 4;  // password, "show adsl", "adsl showbins", "exit"
constexpr auto idle_watch = std::chrono::seconds(1);
constexpr auto generous = std::chrono::seconds(30);

struct Observed {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::vector<PassRecord>> cycles{1};
    std::vector<Clock::time_point> closed_at;
    int cycles_wanted = 0;
    pid_t worker_tid = 0;
};
Observed observed;

void record_pass(const PassRecord& record) {
    const auto now = Clock::now();
    std::lock_guard lock(observed.mutex);
    observed.worker_tid = gettid();
    observed.cycles.back().push_back(record);
    if (!record.last) return;
    observed.closed_at.push_back(now);
    // After the last cycle the worker goes into a long interval wait, which is watched.
    if (static_cast<int>(observed.closed_at.size()) == observed.cycles_wanted) {
        settings.interval_ms = 3600 * 1000;
    } else {
        observed.cycles.emplace_back();
    }
    observed.changed.notify_all();
}

void no_status(int, int, std::string_view) {}
int no_box(std::string_view, std::string_view, int) {
    return 1;
}
void no_tone(std::int32_t, std::int32_t) {}
void run_worker(std::int32_t parameter) {
    collection_worker(parameter);
}

double ms_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

long context_switches(pid_t tid) {
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    long total = 0;
    std::string line;
    while (std::getline(status, line)) {
        const auto colon = line.find(':');
        if (colon != std::string::npos && line.substr(0, colon).ends_with("ctxt_switches"))
            total += std::stol(line.substr(colon + 1));
    }
    return total;
}

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
    const std::filesystem::path previous_dir = std::filesystem::current_path();
    char pattern[] = "/tmp/kelva-bench-pacing-XXXXXX";
    if (!mkdtemp(pattern)) return false;
    std::filesystem::current_path(pattern);

    reset_settings_to_defaults();
    settings.router_address = "127.0.0.1";
    settings.password = "secret";
    settings.interval_ms = 0;
    install_ui_calls(UiCalls{&no_status, &no_box});
    set_tone_output(&no_tone);
    observed.cycles_wanted = cycles;
    cycle_timing.pass_pause_ms = pass_pause_ms;
    cycle_timing.pass_observer = &record_pass;

    RouterSim router;
    bool kept = router.start();
    if (!kept)
        std::printf("FAILED: the simulated router did not start: %s\n", router.error().c_str());
    ThreadRecord* worker = nullptr;
    if (kept) {
        settings.port = router.port();
        worker = start_thread(&run_worker, settings.worker_parameter);
        std::unique_lock lock(observed.mutex);
        kept = observed.changed.wait_for(lock, generous, [cycles] {
            return static_cast<int>(observed.closed_at.size()) >= cycles;
        });
        if (!kept) std::printf("FAILED: %d cycles did not end in time\n", cycles);
    }

    std::printf("\nPacing against the simulated router (pause %u ms):\n", pass_pause_ms);
    double slowest_ms = 0;
    double fastest_ms = 1e9;
    for (std::size_t k = 0; k < observed.closed_at.size(); ++k) {
        kept =
            check_cycle(static_cast<int>(k + 1), observed.cycles[k], observed.closed_at[k]) && kept;
        const double dialog_ms =
            ms_between(observed.cycles[k].front().connected_at, observed.closed_at[k]);
        slowest_ms = std::max(slowest_ms, dialog_ms);
        fastest_ms = std::min(fastest_ms, dialog_ms);
    }

    if (worker != nullptr && kept) {
        // The worker is on its way into the hour's interval wait; falling asleep is one switch.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const long before = context_switches(observed.worker_tid);
        std::this_thread::sleep_for(idle_watch);
        const long woken = context_switches(observed.worker_tid) - before;
        std::printf("worker during 1 s of its interval wait: %ld context switches\n", woken);
        if (woken > 0) kept = false;
    }
    if (worker != nullptr) kill_thread(worker);
    cycle_timing.pass_observer = nullptr;
    install_ui_calls(UiCalls{});
    set_tone_output(nullptr);
    router.stop();

    std::printf("connect to close: %.1f ms to %.1f ms over %zu cycles\n", fastest_ms, slowest_ms,
                observed.closed_at.size());
    std::printf("pacing: %s\n", kept ? "OK" : "FAILED");
    std::filesystem::current_path(previous_dir);
    std::filesystem::remove_all(pattern);
    return kept;
}
