// The timing run of kelvastats_bench: real collection cycles at the real pause against the
// simulated router on loopback, with when each poll, send and pause happened, checked against the
// pace the worker must keep.
#pragma once

// Runs `cycles` cycles, prints each pass and the checks, then watches the worker through a second
// of its interval wait. Returns true when every check held.
bool run_pacing(int cycles);
