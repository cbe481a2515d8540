// The end of the desktop session as the Qt layer sees it on Linux: a logout sends SIGTERM (and
// SIGHUP), a terminal that closes SIGHUP, Ctrl+C in it SIGINT. A signal handler may only do what
// is safe at any instant, so it just raises a wake-up signal; the main thread's loop watches that
// and reports the end from there, where the program can end as Quit ends it.
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include "runtime/wake_signal.h"
#include "window/window_layer_qt.h"

namespace {

constexpr int session_end_signals[] = {SIGTERM, SIGHUP, SIGINT};

// Made once and never released: a signal may come at any moment, even while the program ends.
WakeSignal* session_bell = nullptr;

extern "C" void ring_session_bell(int) {
    const int saved_errno = errno;  // the interrupted code may be about to read it
    session_bell->raise();          // one write(): safe in a signal handler
    errno = saved_errno;
}

// Installs the handler once per process. A signal the program was started ignoring (nohup, a
// background job) stays ignored. The same signal a second time ends the program at once, should
// its end ever hang.
bool install_handlers() {
    if (session_bell) return true;
    auto* bell = new WakeSignal;
    if (!bell->ready()) {
        delete bell;
        return false;
    }
    session_bell = bell;
    struct sigaction action {};
    action.sa_handler = &ring_session_bell;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signal : session_end_signals) {
        struct sigaction old {};
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
    return true;
}

}  // namespace

int watch_session_end(QObject* context, void (*on_end)()) {
    if (!install_handlers()) return 0;
    auto* watch = new QSocketNotifier(static_cast<qintptr>(session_bell->native_handle().value),
                                      QSocketNotifier::Read, context);
    QObject::connect(watch, &QSocketNotifier::activated, context, [on_end] {
        session_bell->lower();
        on_end();
    });
    return 1;
}
