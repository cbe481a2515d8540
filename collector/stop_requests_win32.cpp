// The console's control events raise the wake signal. Windows runs the handler on a thread of its
// own; after the close, log-off and shut-down events it ends the process once the handler returns,
// so the handler waits there for the main thread, which ends the process itself first.
#include <windows.h>

#include <atomic>

#include "collector/stop_requests.h"

namespace {

std::atomic<WakeSignal*> woken{nullptr};
std::atomic<bool> arrived{false};

BOOL WINAPI on_console_event(DWORD event) {
    arrived = true;
    if (WakeSignal* wake = woken.load()) wake->raise();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(INFINITE);
    return TRUE;
}

}  // namespace

bool watch_stop_requests(WakeSignal& wake) {
    woken = &wake;
    return SetConsoleCtrlHandler(&on_console_event, TRUE) != 0;
}

bool stop_request_arrived() {
    return arrived.load();
}
