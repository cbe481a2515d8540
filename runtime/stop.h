// Cooperative stop of a thread: a thread that has a stop state bound to it ends every wait early
// (sleep_ms, connects, receive polls, the alarm's tones) once a stop has been requested for it.
// Threads without a stop state (the main thread) simply wait.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/native_handle.h"

class StopState;

// A fresh, not yet requested stop state.
std::shared_ptr<StopState> make_stop_state();

// Binds state to the calling thread for the rest of its life (or until bound again; null unbinds).
void bind_stop_state(std::shared_ptr<StopState> state);

// Asks the thread bound to state to stop; its current and future waits end at once.
void request_stop(StopState& state);

// True when a stop has been requested for the calling thread.
bool stop_requested();

// A handle that becomes signalled, and stays so, once a stop is requested for the calling thread,
// for a platform file to wait on beside a socket; none when the thread has no stop state.
NativeWaitHandle stop_wait_handle();

// Waits up to ms milliseconds (0xFFFFFFFF: no limit). Returns true when it ended because a stop was
// requested for the calling thread.
bool wait_or_stop(std::uint32_t ms);

// Suspends the calling thread for ms milliseconds, unsigned as the count is; ends early only on a
// stop request. The value with all bits set means no limit.
void sleep_ms(std::uint32_t ms);
