// A signal that stays raised until lowered: the main thread tells a waiting thread by it that its
// call is done, and each stop state is one (runtime/stop.h). wait() also ends when a stop is
// requested for the waiting thread, so a worker never hangs on a main thread that is itself
// waiting for the worker to end.
#pragma once

#include <cstdint>

#include "runtime/native_handle.h"

class WakeSignal {
  public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // False when the signal could not be made; it then never rings.
    bool ready() const { return handle_.present(); }

    // Safe from any thread, any number of times.
    void raise();

    // Blocks until raised (true) or until a stop is requested for the calling thread (false).
    bool wait();

    // Waits up to ms milliseconds (0xFFFFFFFF: no limit) for this signal alone, whatever the
    // thread's stop; true when raised. May end early without it; a signal that is not ready
    // just waits the time.
    bool wait_alone(std::uint32_t ms) const;

    // For an event loop that watches the signal itself: signalled while raised.
    NativeWaitHandle native_handle() const { return handle_; }

    // Lowers a raised signal so that it can be raised again.
    void lower();

  private:
    NativeWaitHandle handle_;
};
