// Which thread the worker runs on, and how often a thread of this process has been switched out:
// a thread that waits quietly adds none, one woken by a timer adds one a wake-up.
#pragma once

#include <cstdint>

using ThreadNumber = std::int64_t;  // the system's id of a thread (Linux's tid)

// The calling thread's number.
ThreadNumber current_thread_number();

// Voluntary and involuntary switches of the thread since it started; 0 when it is gone, -1 where
// the system does not count them for us (Windows, Wine).
long context_switches(ThreadNumber thread);
