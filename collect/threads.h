// Threads of the program, kept in one table. A thread started here has its own stop state, so
// kill_thread ends it promptly wherever it waits.
#pragma once

#include <cstdint>

#include "runtime/handles.h"

using ThreadEntry = void (*)(std::int32_t parameter);

// Starts entry(parameter) on a new thread at once; null on failure. Finished threads are dropped
// from the table first.
ThreadRecord* start_thread(ThreadEntry entry, std::int32_t parameter);

// Stops the thread (a cooperative stop that ends every wait at once), waits for it to end and
// drops it from the table. Called from the thread itself it only requests the stop.
void kill_thread(ThreadRecord* thread);

// True while the thread's entry has not returned.
bool thread_running(const ThreadRecord* thread);

// Program end: stops and waits for every thread still in the table, except the calling one.
void release_thread_table();
