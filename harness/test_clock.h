// A wall clock the tests set by hand, for set_clock_source: log stamps and the status line's time
// then do not depend on the time of day.
#pragma once

#include "runtime/date.h"

// What read_test_clock gives; set it before the code under test reads the clock (and never while
// another thread may read it).
inline WallClock test_clock;
inline WallClock read_test_clock() {
    return test_clock;
}
