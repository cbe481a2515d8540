// The worker thread's collection cycle: connect, answer each chunk with the next line of the
// script, run the two log steps, close, wait the interval, again and again.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string_view>

#include "stats/line_record.h"

enum class WorkerEnd {
    stopped,       // a stop was requested, or the loop flag stopped being "true"
    program_ends,  // a fatal box was shown (network or log creation): the program must end
};

// Runs cycles on the calling thread until a stop is requested for it (runtime/stop.h) or the
// program must end. The parameter is not used.
WorkerEnd collection_worker(std::int32_t parameter);

// The pause that ends every pass of the receive loop. Tests may shorten it.
inline constexpr std::uint32_t pass_pause_ms = 300;
// A router that sends nothing for this long before "exit" was sent ends the cycle.
inline constexpr std::uint32_t dialog_silence_limit_ms = 30000;

// What one pass of the receive loop did and when, for checking the pace (benchmark, tests).
struct PassRecord {
    using Clock = std::chrono::steady_clock;
    std::int32_t pass = 0;           // 1 for the first pass after the connect
    Clock::time_point connected_at;  // when the connect returned; the same for a cycle's passes
    Clock::time_point polled_at;     // when connection_event was asked
    Clock::time_point sent_at;       // when the dialog step answered a chunk; {} when none came
    Clock::time_point pause_began_at, pause_ended_at;  // both {} when the pass ended before it
    std::int32_t dialog_state = 0;                     // after the pass
    bool last = false;  // the connection is closed right after this report
};
using PassObserver = void (*)(const PassRecord& record);

// What one cycle came to, for a program that reports every cycle elsewhere (the headless
// collector's console and metrics). The texts are valid only during the call.
struct CycleReport {
    bool collected = false;  // the statistics and the bins step both ran
    // Why not, in one lower-case word: "unreachable" (no connection), "closed" (the router hung
    // up), "silent" (it stopped answering or sent too much), "refused" (it refused the login);
    // "" when collected.
    std::string_view reason;
    std::string_view status_reply;  // the chunk the statistics step read; "" when none came
    std::string_view bins_reply;    // the chunk the bins step read; "" when none came
    // For a family that fills a line record: what its replies gave, when they all came; null for
    // the classic family and for a cycle that did not collect.
    const LineRecord* line_record = nullptr;
};
using CycleObserver = void (*)(const CycleReport& report);

struct CycleTiming {
    std::atomic<std::uint32_t> pass_pause_ms{::pass_pause_ms};
    std::atomic<std::uint32_t> dialog_silence_limit_ms{::dialog_silence_limit_ms};
    // Called on the worker thread at the end of every pass; null (the default) for none.
    std::atomic<PassObserver> pass_observer{nullptr};
    // Called on the worker thread after every cycle that was not ended by a stop request or by a
    // fatal box; null (the default, the window program) for none.
    std::atomic<CycleObserver> cycle_observer{nullptr};
};
extern CycleTiming cycle_timing;
