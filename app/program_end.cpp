// Program end, safe from the main thread and from the worker, and from both at once.
#include "app/program_end.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "collect/collection_end.h"
#include "runtime/stop.h"
#include "window/gadgets.h"

namespace {

constexpr std::uint32_t no_limit_ms = 0xFFFFFFFFu;

void exit_now(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

std::atomic<ProcessExit> process_exit{&exit_now};
std::atomic<bool> ending{false};

}  // namespace

void set_process_exit(ProcessExit exit) {
    process_exit = exit ? exit : &exit_now;
}

void program_end() {
    if (ending.exchange(true)) {
        // Another thread is ending the program. A worker gets that thread's stop request and
        // returns to end its thread; the main thread waits here for the process to end.
        wait_or_stop(no_limit_ms);
        return;
    }
    // The worker stops before the window goes, so it never calls into a window that is gone.
    end_collection();
    release_window_layer();
    process_exit.load()(0);
    ending = false;  // only a test's exit comes back here
}
