// --on-event: the user's command, run through the shell for each event, apart from the cycle so
// that it never holds a collection up. One command runs at a time; the events that come while it
// runs wait in order (at most max_waiting_events, beyond that they are counted as dropped).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "runtime/child_process.h"

// A command still running after this long is ended.
inline constexpr std::uint32_t event_command_limit_ms = 30000;
inline constexpr std::size_t max_waiting_events = 100;

struct EventRun {
    std::string event;                     // its name, "line-down"
    std::vector<std::string> environment;  // the whole environment the command gets
};

// Lines for the console, called from the command's thread.
using EventSay = void (*)(std::string_view line);

class EventCommand {
  public:
    // say_output: each line the command prints, as "on-event line-down: TEXT". say_error: a
    // command that failed, was ended at the limit, could not start, or events that were dropped.
    EventCommand(std::string command, EventSay say_output, EventSay say_error,
                 std::uint32_t limit_ms = event_command_limit_ms);
    ~EventCommand();  // ends as stop() does
    EventCommand(const EventCommand&) = delete;
    EventCommand& operator=(const EventCommand&) = delete;

    // Queues one run; never waits for a command. Any thread.
    void post(EventRun run);

    // Ends the running command and forgets the waiting ones; returns once its thread has ended.
    void stop();

    // Events dropped because max_waiting_events were already waiting (tests).
    std::int64_t dropped() const;

  private:
    void thread_main();

    std::string command_;
    EventSay say_output_, say_error_;
    std::uint32_t limit_ms_;
    ChildRun child_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<EventRun> waiting_;
    std::int64_t dropped_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};
