// The worker thread's collection cycle: connect, answer each chunk with the next line of the
// script, run the two log steps, close, wait the interval, again and again.
#pragma once

#include <atomic>
#include <cstdint>

enum class WorkerEnd {
    stopped,        // a stop was requested, or the loop flag stopped being "true"
    program_ends,   // a fatal box was shown (network or log creation): the program must end
};

// Runs cycles on the calling thread until a stop is requested for it (runtime/stop.h) or the
// program must end. The parameter is not used.
WorkerEnd collection_worker(std::int32_t parameter);

// The pause that ends every pass of the receive loop. Tests may shorten it.
inline constexpr std::uint32_t pass_pause_ms = 300;
// A router that sends nothing for this long before "exit" was sent ends the cycle.
inline constexpr std::uint32_t dialog_silence_limit_ms = 30000;

struct CycleTiming {
    std::atomic<std::uint32_t> pass_pause_ms{::pass_pause_ms};
    std::atomic<std::uint32_t> dialog_silence_limit_ms{::dialog_silence_limit_ms};
};
extern CycleTiming cycle_timing;
