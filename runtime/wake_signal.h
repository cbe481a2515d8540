// A one-shot signal by which the main thread tells a waiting thread that its call is done. The
// wait also ends when a stop is requested for the waiting thread (runtime/stop.h), so a worker
// never hangs on a main thread that is itself waiting for the worker to end.
#pragma once

class WakeSignal {
  public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // False when the signal could not be made; it then never rings.
    bool ready() const { return fd_ >= 0; }

    // Safe from any thread, any number of times.
    void raise();

    // Blocks until raised (true) or until a stop is requested for the calling thread (false).
    bool wait();

    // For an event loop that watches the signal itself: readable while raised; -1 if none.
    int descriptor() const { return fd_; }

    // Lowers a raised signal so that it can be raised again.
    void lower();

  private:
    int fd_;
};
