// The pass observer that records the worker's pace; shared with the worker thread under a lock.
#include "harness/pass_probe.h"

#include <condition_variable>
#include <mutex>

#include "settings/settings.h"

namespace {

struct Probe {
    std::mutex mutex;
    std::condition_variable changed;
    ProbedPasses passes;
    std::size_t long_wait_after = 0;
};
Probe probe;

void record_pass(const PassRecord& record) {
    const auto now = ProbeClock::now();
    std::lock_guard lock(probe.mutex);
    ProbedPasses& passes = probe.passes;
    passes.worker_tid = current_thread_number();
    passes.cycles.back().push_back(record);
    if (record.last) {
        passes.closed_at.push_back(now);
        passes.cycles.emplace_back();
        if (passes.closed_at.size() == probe.long_wait_after) settings.interval_ms = 3600 * 1000;
    }
    probe.changed.notify_all();
}

}  // namespace

void start_pass_probe(std::size_t long_wait_after) {
    {
        std::lock_guard lock(probe.mutex);
        probe.passes = ProbedPasses{};
        probe.passes.cycles.emplace_back();
        probe.long_wait_after = long_wait_after;
    }
    cycle_timing.pass_observer = &record_pass;
}

void stop_pass_probe() {
    cycle_timing.pass_observer = nullptr;
}

bool wait_for_closed_cycles(std::size_t cycles, std::chrono::milliseconds limit) {
    std::unique_lock lock(probe.mutex);
    return probe.changed.wait_for(lock, limit,
                                  [cycles] { return probe.passes.closed_at.size() >= cycles; });
}

ProbedPasses probed_passes() {
    std::lock_guard lock(probe.mutex);
    return probe.passes;
}

double ms_between(ProbeClock::time_point from, ProbeClock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void run_collection_worker(std::int32_t parameter) {
    collection_worker(parameter);
}
