// The system's local wall-clock time now, to the second: the one platform call of the date layer.
#pragma once

#include "runtime/date.h"

// The fields of 1970-01-01 00:00:00 when the clock cannot be read.
WallClock read_local_clock();
