// EventCommand with real commands through the platform's shell: the events' order and
// environments, what is said about failures, the time limit, the queue's cap and a quick stop.
#include "collector/event_command.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "harness/temp_dir.h"
#include "tests/collector/said_lines.h"
#include "tests/support/file_bytes.h"

namespace {

SaidLines output_said, errors_said;
void say_output(std::string_view line) {
    output_said.add(line);
}
void say_error(std::string_view line) {
    errors_said.add(line);
}

// The commands in cmd.exe's words where that is the shell, else in sh's.
bool shell_is_cmd() {
    return shell_arguments("")[1] == "/c";
}

// Prints "ran EVENT"; the event "hang" first runs for 30 s or more.
std::string ran_or_hang() {
    return shell_is_cmd() ? "(if \"%KELVA_EVENT%\"==\"hang\" ping -n 40 127.0.0.1 >nul)&"
                            "(echo ran %KELVA_EVENT%)"
                          : "if [ \"$KELVA_EVENT\" = hang ]; then sleep 30; fi; "
                            "echo ran $KELVA_EVENT";
}

EventRun event(const std::string& name, const std::string& value = "") {
    std::vector<std::string> environment = environment_without({"KELVA_EVENT", "KELVA_VALUE"});
    environment.push_back("KELVA_EVENT=" + name);
    if (!value.empty()) environment.push_back("KELVA_VALUE=" + value);
    return {name, environment};
}

class EventCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        output_said.clear();
        errors_said.clear();
    }
    TempDir dir_{"kelva_event_command_"};
};

using Clock = std::chrono::steady_clock;

TEST_F(EventCommandTest, EventsRunInOrderWithTheirEnvironments) {
    const std::string record = dir_.path() + "/events.txt";
    const std::string command =
        shell_is_cmd() ? "(>>\"" + record + "\" echo %KELVA_EVENT% %KELVA_VALUE%)&(echo done)"
                       : "echo \"$KELVA_EVENT $KELVA_VALUE\" >> '" + record + "'; echo done";
    EventCommand events(command, say_output, say_error);
    events.post(event("line-down", "1"));
    events.post(event("line-up", "2 words"));
    events.post(event("retrain", "3"));
    EXPECT_EQ(output_said.wait_for(3),
              (std::vector<std::string>{"on-event line-down: done", "on-event line-up: done",
                                        "on-event retrain: done"}));
    events.stop();
    std::string recorded = read_file_bytes(record);
    std::erase(recorded, '\r');
    EXPECT_EQ(recorded, "line-down 1\nline-up 2 words\nretrain 3\n");
    EXPECT_EQ(errors_said.now(), std::vector<std::string>{});
}

TEST_F(EventCommandTest, FailingCommandIsSaidWithItsStatus) {
    EventCommand events("exit 4", say_output, say_error);
    events.post(event("line-down"));
    EXPECT_EQ(errors_said.wait_for(1),
              std::vector<std::string>{
                  "kelvastats-collect: on-event line-down: the command exited with status 4"});
}

TEST_F(EventCommandTest, HangingCommandIsEndedAtTheLimitAndLaterEventsStillRun) {
    // Long enough for cmd.exe to start under Wine and say its line.
    EventCommand events(ran_or_hang(), say_output, say_error, 2000);
    events.post(event("hang"));
    events.post(event("later"));
    EXPECT_EQ(output_said.wait_for(1), std::vector<std::string>{"on-event later: ran later"});
    EXPECT_EQ(errors_said.now(),
              std::vector<std::string>{"kelvastats-collect: on-event hang: the command was still "
                                       "running after 2 s and was ended"});
}

TEST_F(EventCommandTest, EventsBeyondTheCapAreDroppedAndStopEndsAHangingCommandAtOnce) {
    const std::string command =
        shell_is_cmd() ? "(echo started)&(ping -n 40 127.0.0.1 >nul)" : "echo started; sleep 30";
    EventCommand events(command, say_output, say_error);
    events.post(event("first"));
    ASSERT_EQ(output_said.wait_for(1), std::vector<std::string>{"on-event first: started"});
    for (std::size_t i = 0; i < max_waiting_events + 5; ++i) events.post(event("more"));
    EXPECT_EQ(events.dropped(), 5);
    const Clock::time_point start = Clock::now();
    events.stop();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(output_said.now().size(), 1u);  // the waiting ones are forgotten
}

}  // namespace
