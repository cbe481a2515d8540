// WakeSignal on an eventfd, waited for with poll() beside the thread's stop descriptor.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

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
    std::uint64_t one = 1;
    if (handle_.present()) (void)!write(descriptor_of(handle_), &one, sizeof one);
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
