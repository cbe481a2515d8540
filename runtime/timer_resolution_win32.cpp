// Fine timing on Windows: timeBeginPeriod(1) for the object's life, undone by timeEndPeriod(1).
#include <windows.h>
// timeapi.h needs the types of windows.h
#include <timeapi.h>

#include "runtime/timer_resolution.h"

namespace {

constexpr UINT fine_period_ms = 1;

}  // namespace

FineTimerResolution::FineTimerResolution()
    : granted_(timeBeginPeriod(fine_period_ms) == TIMERR_NOERROR) {}

FineTimerResolution::~FineTimerResolution() {
    if (granted_) timeEndPeriod(fine_period_ms);
}
