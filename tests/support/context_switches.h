// How often a thread of this process has been switched out, from /proc: a thread that waits
// quietly adds none, one woken by a timer adds one a wake-up.
#pragma once

#include <sys/types.h>

// Voluntary and involuntary switches of thread `tid` since it started; 0 when it is gone.
long context_switches(pid_t tid);
