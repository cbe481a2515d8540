// A one-shot signal by which the main thread tells a waiting thread that its call is done. The
// wait also ends when a stop is requested for the waiting thread (runtime/stop.h), so a worker
// never hangs on a main thread that is itself waiting for the worker to end.
#pragma once

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

    // For an event loop that watches the signal itself: signalled while raised.
    NativeWaitHandle native_handle() const { return handle_; }

    // Lowers a raised signal so that it can be raised again.
    void lower();

  private:
    NativeWaitHandle handle_;
};
