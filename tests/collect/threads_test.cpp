// The thread table: a kill ends a thread wherever it waits, each thread has a stop state of its
// own, a thread may ask for its own stop, and program end leaves no thread running.
#include "collect/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "runtime/stop.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t no_limit_ms = 0xFFFFFFFFu;
constexpr auto prompt = std::chrono::milliseconds(500);

std::atomic<int> sleepers_ended{0};

void sleep_without_limit(std::int32_t) {
    sleep_ms(no_limit_ms);
    ++sleepers_ended;
}

TEST(Threads, KillEndsAThreadSleepingWithoutLimitAtOnce) {
    sleepers_ended = 0;
    ThreadRecord* thread = start_thread(&sleep_without_limit, 0);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(thread_running(thread));
    const auto start = Clock::now();
    kill_thread(thread);
    EXPECT_LT(Clock::now() - start, prompt);
    EXPECT_EQ(sleepers_ended, 1);
    EXPECT_FALSE(thread_running(thread)) << "a killed thread is gone from the table";
}

TEST(Threads, KillingOneThreadLeavesTheOthersWaiting) {
    sleepers_ended = 0;
    ThreadRecord* first = start_thread(&sleep_without_limit, 0);
    ThreadRecord* second = start_thread(&sleep_without_limit, 0);
    kill_thread(first);
    EXPECT_EQ(sleepers_ended, 1);
    EXPECT_TRUE(thread_running(second));
    kill_thread(second);
    EXPECT_EQ(sleepers_ended, 2);
}

TEST(Threads, ReleasingTheTableStopsAndWaitsForEveryThread) {
    sleepers_ended = 0;
    for (int i = 0; i < 3; ++i) ASSERT_NE(start_thread(&sleep_without_limit, 0), nullptr);
    release_thread_table();
    EXPECT_EQ(sleepers_ended, 3);
}

std::mutex self_mutex;
std::condition_variable self_changed;
ThreadRecord* self_record = nullptr;
bool self_saw_stop = false;
bool self_done = false;

// Kills itself: that may only request the stop, never wait for its own end.
void kill_myself(std::int32_t) {
    ThreadRecord* me = nullptr;
    {
        std::unique_lock lock(self_mutex);
        self_changed.wait(lock, [] { return self_record != nullptr; });
        me = self_record;
    }
    kill_thread(me);
    std::lock_guard lock(self_mutex);
    self_saw_stop = stop_requested();
    self_done = true;
    self_changed.notify_all();
}

TEST(Threads, ThreadKillingItselfOnlyRequestsItsStop) {
    ThreadRecord* thread = start_thread(&kill_myself, 0);
    ASSERT_NE(thread, nullptr);
    {
        std::lock_guard lock(self_mutex);
        self_record = thread;
    }
    self_changed.notify_all();
    std::unique_lock lock(self_mutex);
    ASSERT_TRUE(self_changed.wait_for(lock, std::chrono::seconds(10), [] { return self_done; }));
    EXPECT_TRUE(self_saw_stop);
    lock.unlock();
    kill_thread(thread);  // joins the finished thread
}

std::atomic<std::int32_t> parameter_seen{0};

void note_parameter(std::int32_t parameter) {
    parameter_seen = parameter;
}

TEST(Threads, EntryGetsItsParameterAndAFinishedThreadIsNotRunning) {
    ThreadRecord* thread = start_thread(&note_parameter, 42);
    ASSERT_NE(thread, nullptr);
    kill_thread(thread);
    EXPECT_EQ(parameter_seen, 42);
    EXPECT_FALSE(thread_running(thread));
    EXPECT_EQ(start_thread(nullptr, 0), nullptr);
}

}  // namespace
