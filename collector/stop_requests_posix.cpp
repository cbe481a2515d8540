// SIGTERM, SIGINT and SIGHUP raise the wake signal: an eventfd write, which a signal handler may
// do.
#include <signal.h>

#include <atomic>

#include "collector/stop_requests.h"

namespace {

std::atomic<WakeSignal*> woken{nullptr};
std::atomic<bool> arrived{false};
static_assert(std::atomic<bool>::is_always_lock_free &&
                  std::atomic<WakeSignal*>::is_always_lock_free,
              "a signal handler may only touch lock-free atomics");

void on_stop_signal(int) {
    arrived = true;
    if (WakeSignal* wake = woken.load()) wake->raise();
}

}  // namespace

bool watch_stop_requests(WakeSignal& wake) {
    woken = &wake;
    struct sigaction action {};
    action.sa_handler = &on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (sigaction(SIGTERM, &action, nullptr) != 0 || sigaction(SIGINT, &action, nullptr) != 0)
        return false;
    // A closed terminal ends the program as cleanly, unless it was started to outlive its
    // terminal (nohup ignores SIGHUP for it).
    struct sigaction hang_up {};
    if (sigaction(SIGHUP, nullptr, &hang_up) == 0 && hang_up.sa_handler != SIG_IGN)
        sigaction(SIGHUP, &action, nullptr);
    return true;
}

bool stop_request_arrived() {
    return arrived.load();
}
