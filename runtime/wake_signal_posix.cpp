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

}  // namespace

WakeSignal::WakeSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeSignal::~WakeSignal() {
    if (fd_ >= 0) close(fd_);
}

void WakeSignal::raise() {
    std::uint64_t one = 1;
    if (fd_ >= 0) (void)!write(fd_, &one, sizeof one);
}

void WakeSignal::lower() {
    std::uint64_t count = 0;
    if (fd_ >= 0) (void)!read(fd_, &count, sizeof count);
}

bool WakeSignal::wait() {
    if (fd_ < 0) return false;  // no descriptor: nothing could ever wake us, so do not wait
    pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_wait_fd(), POLLIN, 0}};  // poll skips a negative fd
    // A stop state without a descriptor can only be seen by looking at its flag now and then.
    const int timeout_ms = fds[1].fd < 0 ? flag_check_ms : -1;
    for (;;) {
        if (poll(fds, 2, timeout_ms) < 0 && errno != EINTR) return false;
        if (fds[0].revents & POLLIN) return true;
        if ((fds[1].revents & POLLIN) || stop_requested()) return false;
    }
}
