// Fine timing on POSIX: the timers are fine already, nothing to ask for.
#include "runtime/timer_resolution.h"

FineTimerResolution::FineTimerResolution() = default;

FineTimerResolution::~FineTimerResolution() = default;
