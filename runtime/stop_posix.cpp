// Cooperative stop on POSIX: each stop state is an eventfd that becomes readable, and stays
// readable, once a stop is requested, so a poll() on it ends every current and later wait.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

#include "runtime/stop.h"

class StopState {
  public:
    StopState() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~StopState() {
        if (fd_ >= 0) close(fd_);
    }
    StopState(const StopState&) = delete;
    StopState& operator=(const StopState&) = delete;

    // -1 when no eventfd could be made; waits then watch the flag in short slices.
    int fd() const { return fd_; }
    bool requested() const { return requested_.load(); }

    void request() {
        requested_.store(true);
        if (fd_ < 0) return;
        const std::uint64_t one = 1;
        // The counter is never read, so it never reaches its limit: the write only fails on EINTR.
        while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

  private:
    int fd_;
    std::atomic<bool> requested_{false};
};

namespace {

constexpr std::uint32_t no_limit_ms = 0xFFFFFFFFu;
// How often a wait without an eventfd looks at the flag, and how long a failing poll backs off.
constexpr int flag_check_ms = 20;

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
    return NativeWaitHandle{bound_state ? bound_state->fd() : -1};
}

bool wait_or_stop(std::uint32_t ms) {
    StopState* const state = bound_state.get();
    if (!state) {
        sleep_plainly(ms);
        return false;
    }
    using Clock = std::chrono::steady_clock;
    const bool forever = ms == no_limit_ms;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (state->requested()) return true;
        int timeout_ms = -1;
        if (!forever) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return false;
            timeout_ms = static_cast<int>(std::min<long long>(left, INT_MAX));
        }
        // Without an eventfd the flag is looked at every few milliseconds.
        if (state->fd() < 0 && (timeout_ms < 0 || timeout_ms > flag_check_ms))
            timeout_ms = flag_check_ms;
        pollfd watched{state->fd(), POLLIN, 0};  // poll passes over a negative descriptor
        if (poll(&watched, 1, timeout_ms) < 0 && errno != EINTR) {
            // Out of kernel memory or similar: back off instead of spinning, then look again.
            std::this_thread::sleep_for(std::chrono::milliseconds(flag_check_ms));
        }
    }
}

void sleep_ms(std::uint32_t ms) {
    (void)wait_or_stop(ms);
}
