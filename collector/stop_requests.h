// Requests to stop the collector from outside: SIGTERM, SIGINT and SIGHUP (its terminal closed) on
// POSIX systems; Ctrl+C, Ctrl+Break, closing the console, logging off and shutting down on
// Windows. Each raises the wake signal instead of ending the process, so the program ends as it
// chooses, with whole lines.
#pragma once

#include "runtime/wake_signal.h"

// From now on a stop request raises wake (which must outlive the program) and is remembered.
// False when the handlers could not be installed.
bool watch_stop_requests(WakeSignal& wake);

// True once a stop request has arrived.
bool stop_request_arrived();
