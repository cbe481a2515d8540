// The hand-set wall clock.
#include "tests/support/test_clock.h"

WallClock test_clock;

WallClock read_test_clock() {
    return test_clock;
}
