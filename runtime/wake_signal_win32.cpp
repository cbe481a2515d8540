// WakeSignal on a manual-reset event, waited for beside the thread's stop event.
#include <windows.h>

#include "runtime/stop.h"
#include "runtime/wake_signal.h"

namespace {

constexpr DWORD flag_check_ms = 20;

HANDLE event_of(NativeWaitHandle handle) {
    return reinterpret_cast<HANDLE>(handle.value);
}

}  // namespace

WakeSignal::WakeSignal() {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event) handle_.value = reinterpret_cast<std::intptr_t>(event);
}

WakeSignal::~WakeSignal() {
    if (handle_.present()) CloseHandle(event_of(handle_));
}

void WakeSignal::raise() {
    if (handle_.present()) SetEvent(event_of(handle_));
}

void WakeSignal::lower() {
    if (handle_.present()) ResetEvent(event_of(handle_));
}

bool WakeSignal::wait() {
    if (!handle_.present()) return false;  // no event: nothing could ever wake us, so do not wait
    const NativeWaitHandle stop = stop_wait_handle();
    const HANDLE events[2] = {event_of(handle_), event_of(stop)};
    // A stop state without an event can only be seen by looking at its flag now and then.
    const DWORD count = stop.present() ? 2 : 1;
    const DWORD timeout = stop.present() ? INFINITE : flag_check_ms;
    for (;;) {
        const DWORD result = WaitForMultipleObjects(count, events, FALSE, timeout);
        if (result == WAIT_OBJECT_0) return true;
        if (result == WAIT_FAILED || result == WAIT_OBJECT_0 + 1 || stop_requested()) return false;
    }
}

bool WakeSignal::wait_alone(std::uint32_t ms) const {
    if (!handle_.present()) {
        Sleep(ms);
        return false;
    }
    return WaitForSingleObject(event_of(handle_), ms) == WAIT_OBJECT_0;
}
