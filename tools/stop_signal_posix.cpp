// Stop requests on POSIX: SIGINT and SIGTERM, blocked in every thread and taken with sigwait.
#include <pthread.h>
#include <signal.h>

#include "tools/stop_signal.h"

namespace {

sigset_t stop_signals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

void hold_stop_signals() {
    const sigset_t signals = stop_signals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void wait_for_stop_signal() {
    const sigset_t signals = stop_signals();
    int received = 0;
    sigwait(&signals, &received);
}
