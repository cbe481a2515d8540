// Cooperative stop on Windows: each stop state is a manual-reset event that is set, and stays set,
// once a stop is requested, so every current and later wait on it ends at once.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "runtime/stop.h"

class StopState {
  public:
    StopState() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~StopState() {
        if (event_) CloseHandle(event_);
    }
    StopState(const StopState&) = delete;
    StopState& operator=(const StopState&) = delete;

    // Null when no event could be made; waits then watch the flag in short slices.
    HANDLE event() const { return event_; }
    bool requested() const { return requested_.load(); }

    void request() {
        requested_.store(true);
        if (event_) SetEvent(event_);
    }

  private:
    HANDLE event_;
    std::atomic<bool> requested_{false};
};

namespace {

constexpr std::uint32_t no_limit_ms = 0xFFFFFFFFu;
// How often a wait without an event looks at the flag.
constexpr DWORD flag_check_ms = 20;

thread_local std::shared_ptr<StopState> bound_state;

using Clock = std::chrono::steady_clock;

// Milliseconds left until deadline, rounded up, never negative.
DWORD left_until(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<DWORD>(std::clamp<long long>(left, 0, INFINITE - 1));
}

}  // namespace

std::shared_ptr<StopState> make_stop_state() {
    return std::make_shared<StopState>();
}

void bind_stop_state(std::shared_ptr<StopState> state) {
    bound_state = std::move(state);
}

void request_stop(StopState& state) {
    state.request();
}

bool stop_requested() {
    return bound_state && bound_state->requested();
}

NativeWaitHandle stop_wait_handle() {
    HANDLE event = bound_state ? bound_state->event() : nullptr;
    return NativeWaitHandle{event ? reinterpret_cast<std::intptr_t>(event) : -1};
}

bool wait_or_stop(std::uint32_t ms) {
    StopState* const state = bound_state.get();
    const bool forever = ms == no_limit_ms;
    const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : ms);
    // A timed wait may end a little before its time on a coarse timer: the deadline is what counts.
    for (;;) {
        if (state && state->requested()) return true;
        DWORD timeout = forever ? INFINITE : left_until(deadline);
        if (!forever && timeout == 0) return false;
        if (!state) {
            Sleep(timeout);
            continue;
        }
        if (!state->event()) timeout = std::min(timeout, flag_check_ms);
        if (state->event()) {
            (void)WaitForSingleObject(state->event(), timeout);
        } else {
            Sleep(timeout);
        }
    }
}

void sleep_ms(std::uint32_t ms) {
    (void)wait_or_stop(ms);
}
