// The worker's pass observer as a probe: every pass it reports, cycle by cycle, when each cycle's
// connection was closed, and the worker's thread. The pacing test and the benchmark's pacing run
// read the worker's pace from it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "collect/collection_worker.h"
#include "harness/thread_switches.h"

using ProbeClock = PassRecord::Clock;

struct ProbedPasses {
    // The passes of each cycle; the cycle after the last closed one may follow, empty or running.
    std::vector<std::vector<PassRecord>> cycles;
    std::vector<ProbeClock::time_point> closed_at;  // one for each closed cycle
    ThreadNumber worker_tid = 0;                    // the thread the observer was called on
};

// Forgets what was probed and installs the probe as cycle_timing.pass_observer. Once
// `long_wait_after` cycles have closed (0: never) the probe sets the interval to an hour, so that
// the worker stays in its interval wait after exactly that many cycles.
void start_pass_probe(std::size_t long_wait_after = 0);
void stop_pass_probe();
// Waits at most `limit` until `cycles` cycles have closed; false when they did not.
bool wait_for_closed_cycles(std::size_t cycles, std::chrono::milliseconds limit);
ProbedPasses probed_passes();

double ms_between(ProbeClock::time_point from, ProbeClock::time_point to);
// The worker as an entry for start_thread.
void run_collection_worker(std::int32_t parameter);
