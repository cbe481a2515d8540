// Run starts the collection worker (once per program run); Quit stops it and ends the program.
#include "app/run_quit.h"

#include <cstdint>

#include "app/main_window.h"
#include "app/program_end.h"
#include "collect/collection_worker.h"
#include "collect/threads.h"
#include "runtime/text.h"
#include "runtime/ui_calls.h"
#include "settings/settings.h"
#include "window/gadgets.h"

namespace {

// The worker thread's entry: after a fatal box the program ends from here, on this thread.
void worker_entry(std::int32_t parameter) {
    if (collection_worker(parameter) == WorkerEnd::program_ends) program_end();
}

}  // namespace

void run_action() {
    if (equals(settings.password.get(), "")) {
        message_box("Error", "Please enter a password before running", 0);
        return;
    }
    if (settings.worker_started != 0) return;
    ThreadRecord* worker = start_thread(&worker_entry, settings.worker_parameter);
    if (!worker) return;  // no thread could be made: stay idle, so Run can be tried again
    settings.worker_thread = worker;
    settings.worker_started = 1;
    hide_gadget(run_gadget, 1);
}

void quit_action() {
    if (settings.worker_started >= 1) {
        kill_thread(settings.worker_thread);
        settings.worker_thread = nullptr;
    }
    program_end();
}
