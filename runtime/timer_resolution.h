// Fine timing while a collection runs: Windows' timers tick about every 15.6 ms by default, too
// coarse for the 300 ms pauses of the receive loop, so the system is asked for 1 ms ticks for as
// long as an object of this type lives. POSIX timers are fine already: there it does nothing.
#pragma once

class FineTimerResolution {
  public:
    FineTimerResolution();
    ~FineTimerResolution();
    FineTimerResolution(const FineTimerResolution&) = delete;
    FineTimerResolution& operator=(const FineTimerResolution&) = delete;

  private:
    [[maybe_unused]] bool granted_ = false;  // only Windows has something to give back
};
