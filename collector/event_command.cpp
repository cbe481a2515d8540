// --on-event: one thread that runs the user's command for each event in turn, its output and
// failures said on the console.
#include "collector/event_command.h"

#include <utility>

#include "runtime/text.h"

namespace {

std::string limit_text(std::uint32_t limit_ms) {
    if (limit_ms % 1000 == 0) return concat(std::to_string(limit_ms / 1000), " s");
    return concat(std::to_string(limit_ms), " ms");
}

}  // namespace

EventCommand::EventCommand(std::string command, EventSay say_output, EventSay say_error,
                           std::uint32_t limit_ms)
    : command_(std::move(command)),
      say_output_(say_output),
      say_error_(say_error),
      limit_ms_(limit_ms),
      thread_([this] { thread_main(); }) {}

EventCommand::~EventCommand() {
    stop();
}

void EventCommand::post(EventRun run) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;
        if (waiting_.size() >= max_waiting_events) {
            ++dropped_;
            return;
        }
        waiting_.push_back(std::move(run));
    }
    wake_.notify_one();
}

void EventCommand::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        waiting_.clear();
    }
    child_.stop();
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

std::int64_t EventCommand::dropped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

void EventCommand::thread_main() {
    // The drops said so far: a burst of them is said once, when the queue has room again.
    std::int64_t dropped_said = 0;
    const std::vector<std::string> arguments = shell_arguments(command_);
    for (;;) {
        EventRun run;
        std::int64_t dropped_now = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
            if (stopping_) return;
            run = std::move(waiting_.front());
            waiting_.pop_front();
            dropped_now = dropped_;
        }
        if (dropped_now > dropped_said && say_error_ != nullptr) {
            say_error_(
                concat("kelvastats-collect: on-event: ", std::to_string(dropped_now - dropped_said),
                       " events dropped: ", std::to_string(max_waiting_events),
                       " were already waiting for the command"));
            dropped_said = dropped_now;
        }
        const std::string prefix = concat("on-event ", run.event, ": ");
        const ChildOutcome outcome =
            child_.run(arguments, run.environment, limit_ms_, [&](std::string_view line) {
                if (say_output_ != nullptr) say_output_(concat(prefix, line));
            });
        if (say_error_ == nullptr) continue;
        const std::string about = concat("kelvastats-collect: ", prefix);
        switch (outcome.end) {
            case ChildEnd::exited:
                if (outcome.exit_status != 0) {
                    say_error_(concat(about, "the command exited with status ",
                                      std::to_string(outcome.exit_status)));
                }
                break;
            case ChildEnd::over_time:
                say_error_(concat(about, "the command was still running after ",
                                  limit_text(limit_ms_), " and was ended"));
                break;
            case ChildEnd::not_started:
                say_error_(concat(about, "the command could not start: ", outcome.error));
                break;
            case ChildEnd::stopped:
                break;
        }
    }
}
