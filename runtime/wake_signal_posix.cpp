// WakeSignal on an eventfd, waited for with poll() beside the thread's stop descriptor.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <thread>

#include "runtime/stop.h"
#include "runtime/wake_signal.h"

namespace {

constexpr int flag_check_ms = 20;

int descriptor_of(NativeWaitHandle handle) {
    return static_cast<int>(handle.value);
}

}  // namespace

WakeSignal::WakeSignal() : handle_{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)} {}

WakeSignal::~WakeSignal() {
    if (handle_.present()) close(descriptor_of(handle_));
}

void WakeSignal::raise() {
    if (!handle_.present()) return;
    const std::uint64_t one = 1;
    // The count only grows to the number of raises, far below its limit: only EINTR can fail it.
    while (write(descriptor_of(handle_), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void WakeSignal::lower() {
    std::uint64_t count = 0;
    if (handle_.present()) (void)!read(descriptor_of(handle_), &count, sizeof count);
}

bool WakeSignal::wait() {
    if (!handle_.present())
        return false;  // no descriptor: nothing could ever wake us, so do not wait
    // poll skips a negative descriptor
    pollfd fds[2] = {{descriptor_of(handle_), POLLIN, 0},
                     {descriptor_of(stop_wait_handle()), POLLIN, 0}};
    // A stop state without a descriptor can only be seen by looking at its flag now and then.
    const int timeout_ms = fds[1].fd < 0 ? flag_check_ms : -1;
    for (;;) {
        if (poll(fds, 2, timeout_ms) < 0 && errno != EINTR) return false;
        if (fds[0].revents & POLLIN) return true;
        if ((fds[1].revents & POLLIN) || stop_requested()) return false;
    }
}

bool WakeSignal::wait_alone(std::uint32_t ms) const {
    const int timeout_ms =
        ms == 0xFFFFFFFFu ? -1 : static_cast<int>(std::min<std::uint32_t>(ms, INT_MAX));
    if (!handle_.present()) {
        if (timeout_ms >= 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
        return false;
    }
    pollfd watched{descriptor_of(handle_), POLLIN, 0};
    const int ready = poll(&watched, 1, timeout_ms);
    if (ready < 0 && errno != EINTR) {
        // Out of kernel memory or similar: back off instead of spinning.
        std::this_thread::sleep_for(std::chrono::milliseconds(flag_check_ms));
    }
    return ready > 0;
}
