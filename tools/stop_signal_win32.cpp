// Stop requests on Windows: the console's Ctrl+C, Ctrl+Break and close events set an event.
#include <windows.h>

#include "tools/stop_signal.h"

namespace {

HANDLE stop_event = nullptr;

BOOL WINAPI on_console_event(DWORD) {
    SetEvent(stop_event);
    return TRUE;
}

}  // namespace

void hold_stop_signals() {
    stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(&on_console_event, TRUE);
}

void wait_for_stop_signal() {
    if (stop_event) WaitForSingleObject(stop_event, INFINITE);
}
