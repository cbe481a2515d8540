// How the simulator program is told to stop: Ctrl+C or a termination request.
#pragma once

// Takes the stop requests away from their default handling; call before any thread is started.
void hold_stop_signals();

// Blocks until a stop request has arrived.
void wait_for_stop_signal();
