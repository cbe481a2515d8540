// Stop requests ending waits on other threads, plain sleeps on threads without a stop state, and
// the alarm tone's timing with and without a stop.
#include "runtime/stop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <utility>

#include "runtime/tone.h"
#include "runtime/tone_device.h"
#include "wait_handle_probe.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
constexpr std::uint32_t no_limit_ms = 0xFFFFFFFFu;
// Generous bound for "at once": far below the waits that are interrupted, far above scheduling
// noise.
constexpr auto prompt = milliseconds(2000);

milliseconds elapsed_since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// Runs wait on a thread with its own stop state, requests the stop once the thread is about to
// wait, and gives back how long the wait took and what it returned.
template <typename Wait>
std::pair<milliseconds, bool> stopped_from_outside(Wait wait) {
    auto state = make_stop_state();
    std::promise<void> bound;
    std::pair<milliseconds, bool> outcome;
    std::thread waiter([&] {
        bind_stop_state(state);
        bound.set_value();
        const auto start = Clock::now();
        outcome.second = wait();
        outcome.first = elapsed_since(start);
    });
    bound.get_future().wait();
    request_stop(*state);
    waiter.join();
    return outcome;
}

class Stop : public ::testing::Test {
  protected:
    void TearDown() override { bind_stop_state(nullptr); }
};

TEST_F(Stop, RequestFromAnotherThreadEndsALongWait) {
    const auto [took, stopped] = stopped_from_outside([] { return wait_or_stop(60000); });
    EXPECT_TRUE(stopped);
    EXPECT_LT(took, prompt);
}

TEST_F(Stop, RequestEndsAWaitWithoutLimit) {
    const auto [took, stopped] = stopped_from_outside([] {
        sleep_ms(no_limit_ms);
        return stop_requested();
    });
    EXPECT_TRUE(stopped);
    EXPECT_LT(took, prompt);
}

TEST_F(Stop, StopStaysRequestedForLaterWaitsAndPolls) {
    auto state = make_stop_state();
    bind_stop_state(state);
    EXPECT_FALSE(stop_requested());
    EXPECT_FALSE(signalled_now(stop_wait_handle()));
    request_stop(*state);
    const auto start = Clock::now();
    EXPECT_TRUE(wait_or_stop(no_limit_ms));
    EXPECT_TRUE(wait_or_stop(60000));
    EXPECT_LT(elapsed_since(start), prompt);
    ASSERT_TRUE(stop_wait_handle().present());
    EXPECT_TRUE(signalled_now(stop_wait_handle()));
}

TEST_F(Stop, WaitsRunTheirTimeWhenNoStopIsRequestedForThisThread) {
    auto mine = make_stop_state();
    auto other = make_stop_state();
    bind_stop_state(mine);
    request_stop(*other);
    auto start = Clock::now();
    EXPECT_FALSE(wait_or_stop(40));
    EXPECT_GE(elapsed_since(start), milliseconds(40));

    bind_stop_state(nullptr);
    EXPECT_FALSE(stop_wait_handle().present());
    EXPECT_FALSE(stop_requested());
    start = Clock::now();
    sleep_ms(30);
    EXPECT_GE(elapsed_since(start), milliseconds(30));
}

TEST_F(Stop, SilentToneTakesItsDurationAndEndsOnStop) {
    const auto start = Clock::now();
    wait_tone_silently(1000, 50);
    EXPECT_GE(elapsed_since(start), milliseconds(50));
    const auto [took, stopped] = stopped_from_outside([] {
        wait_tone_silently(1000, 60000);
        return stop_requested();
    });
    EXPECT_TRUE(stopped);
    EXPECT_LT(took, prompt);
}

// The real sound device keeps the tone's duration and not much more.
TEST_F(Stop, ToneOnTheSoundDeviceKeepsItsDuration) {
    if (!sound_device_present()) GTEST_SKIP() << "no sound device on this machine";
    use_sound_device();
    const auto start = Clock::now();
    play_tone(1000, 80);
    const auto took = elapsed_since(start);
    EXPECT_GE(took, milliseconds(75));
    EXPECT_LT(took, milliseconds(80 + 400));
}

}  // namespace
