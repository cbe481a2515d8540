// Cooperative stop: each stop state is a wake-up signal that is raised, and stays raised, once a
// stop is requested, so a wait on it ends every current and later wait of the thread.
#include "runtime/stop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "runtime/wake_signal.h"

class StopState {
  public:
    bool requested() const { return requested_.load(); }
    void request() {
        requested_.store(true);
        signal_.raise();
    }
    // Not ready when the system gave no signal; waits then watch the flag in short slices.
    const WakeSignal& signal() const { return signal_; }

  private:
    WakeSignal signal_;
    std::atomic<bool> requested_{false};
};

namespace {

constexpr std::uint32_t no_limit_ms = 0xFFFFFFFFu;
// How often a wait without a signal looks at the flag.
constexpr std::uint32_t flag_check_ms = 20;

thread_local std::shared_ptr<StopState> bound_state;

void sleep_plainly(std::uint32_t ms) {
    if (ms == no_limit_ms) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
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
    return bound_state ? bound_state->signal().native_handle() : NativeWaitHandle{};
}

bool wait_or_stop(std::uint32_t ms) {
    StopState* const state = bound_state.get();
    if (!state) {
        sleep_plainly(ms);
        return false;
    }
    using Clock = std::chrono::steady_clock;
    const bool forever = ms == no_limit_ms;
    const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : ms);
    // A timed wait may end early (an interruption, a coarse timer): the deadline is what counts.
    for (;;) {
        if (state->requested()) return true;
        std::uint32_t timeout_ms = no_limit_ms;
        if (!forever) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return false;
            timeout_ms = static_cast<std::uint32_t>(std::min<long long>(left, no_limit_ms - 1));
        }
        if (!state->signal().ready()) timeout_ms = std::min(timeout_ms, flag_check_ms);
        (void)state->signal().wait_alone(timeout_ms);
    }
}

void sleep_ms(std::uint32_t ms) {
    (void)wait_or_stop(ms);
}
