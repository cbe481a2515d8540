// Starting a thread when memory runs out: every allocation that start_thread makes is failed in
// turn, and each failed start must return null and leave the table as it was, with the records
// of finished threads still there to be joined by a later start. A program of its own, because it
// replaces the global operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "collect/threads.h"
#include "runtime/stop.h"

namespace {

// -1: allocations succeed; otherwise the allocation after this many more ones fails.
std::atomic<int> allocations_before_failure{-1};

}  // namespace

void* operator new(std::size_t size) {
    if (allocations_before_failure.load() == 0) throw std::bad_alloc();
    if (allocations_before_failure.load() > 0) --allocations_before_failure;
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

namespace {

void sleep_until_stopped(std::int32_t) {
    sleep_ms(0xFFFFFFFFu);
}

void return_at_once(std::int32_t) {}

TEST(ThreadStart, FailedAllocationsGiveNullAndKeepTheTable) {
    ThreadRecord* sleeper = start_thread(&sleep_until_stopped, 0);
    ASSERT_NE(sleeper, nullptr);
    kill_thread(start_thread(&sleep_until_stopped, 0));
    int failed_starts = 0;
    for (int allowed = 0; allowed < 20; ++allowed) {
        // Most likely finished by the failing start: a record that start must not drop unjoined.
        ASSERT_NE(start_thread(&return_at_once, 0), nullptr);
        allocations_before_failure = allowed;
        ThreadRecord* started = start_thread(&sleep_until_stopped, 0);
        allocations_before_failure = -1;
        if (started == nullptr) {
            ++failed_starts;
        } else {
            kill_thread(started);
        }
        EXPECT_TRUE(thread_running(sleeper)) << "after " << allowed << " allocations";
    }
    EXPECT_GT(failed_starts, 0);
    release_thread_table();
    EXPECT_FALSE(thread_running(sleeper));
}

}  // namespace
