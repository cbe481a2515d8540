// ChildRun on real programs through the platform's shell: what reaches the child (its
// environment, no descriptor of ours), what comes back (lines, status), and how it is ended.
#include "runtime/child_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "child_commands.h"
#include "runtime/child_output_lines.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t long_limit_ms = 60000;
// A loose bound on how long ending a child may take, far above the second of grace.
constexpr auto end_bound = std::chrono::seconds(10);

struct Ran {
    ChildOutcome outcome;
    std::vector<std::string> lines;
};

Ran run_shell(ChildRun& child, const std::string& command,
              const std::vector<std::string>& environment = {},
              std::uint32_t limit_ms = long_limit_ms) {
    Ran ran;
    ran.outcome = child.run(shell_arguments(command), environment, limit_ms,
                            [&](std::string_view line) { ran.lines.emplace_back(line); });
    return ran;
}

std::vector<std::string> pieces_of(const std::string& bytes) {
    std::vector<std::string> lines;
    const std::function<void(std::string_view)> keep = [&](std::string_view line) {
        lines.emplace_back(line);
    };
    ChildOutputLines cut(keep);
    // In two reads, split inside the CR LF, as a pipe may give them.
    const std::size_t half =
        bytes.find('\r') == std::string::npos ? bytes.size() / 2 : bytes.find('\r') + 1;
    cut.add(bytes.data(), half);
    cut.add(bytes.data() + half, bytes.size() - half);
    cut.finish();
    return lines;
}

}  // namespace

TEST(ChildOutputLines, CrLfAndLfEndLinesAndALastLineWithoutEndComes) {
    EXPECT_EQ(pieces_of("a\r\nb\n\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
}

TEST(ChildOutputLines, LongLineComesInPiecesWithoutAnEmptyOneAfter) {
    const std::string longer(2 * max_child_line_bytes + 10, 'x');
    const std::vector<std::string> lines =
        pieces_of(std::string(max_child_line_bytes, 'y') + "\n" + longer + "\nz\n");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], std::string(max_child_line_bytes, 'y'));
    EXPECT_EQ(lines[1].size(), max_child_line_bytes);
    EXPECT_EQ(lines[3], std::string(10, 'x'));
    EXPECT_EQ(lines[4], "z");
}

TEST(ChildProcess, GetsExactlyTheGivenEnvironment) {
    child_commands::set_own_variable("KELVA_PARENT_ONLY", "1");
    ChildRun child;
    const Ran ran = run_shell(child, child_commands::print_environment(),
                              {"KELVA_ONE=1", "KELVA_TWO=two words"});
    ASSERT_EQ(ran.outcome.end, ChildEnd::exited) << ran.outcome.error;
    std::vector<std::string> ours;
    for (const std::string& line : ran.lines)
        if (line.rfind("KELVA_", 0) == 0) ours.push_back(line);
    std::sort(ours.begin(), ours.end());  // sh and cmd.exe list them in orders of their own
    EXPECT_EQ(ours, (std::vector<std::string>{"KELVA_ONE=1", "KELVA_TWO=two words"}));

    const std::vector<std::string> without = environment_without({"KELVA_PARENT_ONLY"});
    bool parent_only = false;
    for (const std::string& entry : without)
        parent_only |= entry.rfind("KELVA_PARENT_ONLY=", 0) == 0;
    EXPECT_FALSE(parent_only);
    EXPECT_FALSE(without.empty());
}

TEST(ChildProcess, LinesOfBothStreamsInOrderAndTheExitStatus) {
    ChildRun child;
    Ran ran = run_shell(child, child_commands::two_lines_and_a_partial_one());
    EXPECT_EQ(ran.outcome.end, ChildEnd::exited);
    EXPECT_EQ(ran.outcome.exit_status, 0);
    EXPECT_EQ(ran.lines, (std::vector<std::string>{"one", "two", "three"}));

    ran = run_shell(child, child_commands::output_then_error());
    EXPECT_EQ(ran.lines, (std::vector<std::string>{"out", "err"}));

    ran = run_shell(child, child_commands::exit_three());
    EXPECT_EQ(ran.outcome.end, ChildEnd::exited);
    EXPECT_EQ(ran.outcome.exit_status, 3);
}

TEST(ChildProcess, MissingProgramIsNotStarted) {
    ChildRun child;
    const ChildOutcome outcome =
        child.run({child_commands::missing_program()}, {}, long_limit_ms, {});
    EXPECT_EQ(outcome.end, ChildEnd::not_started);
    EXPECT_NE(outcome.error.find("kelva-missing-program"), std::string::npos) << outcome.error;
}

TEST(ChildProcess, OverTimeEndsTheChildAndWhatItStarted) {
    ChildRun child;
    const Clock::time_point start = Clock::now();
    const Ran ran =
        run_shell(child, child_commands::start_and_hang(), environment_without({}), 300);
    EXPECT_LT(Clock::now() - start, end_bound);
    EXPECT_EQ(ran.outcome.end, ChildEnd::over_time);
    // Where the limit came before the shell said anything (a slow start), nothing more to check.
    if (ran.lines.size() > 1 && ran.lines[1] == "started") {
        EXPECT_TRUE(child_commands::process_ends(ran.lines[0], 5000)) << ran.lines[0];
    }
}

TEST(ChildProcess, StopFromAnotherThreadEndsItAndTheNextRun) {
    ChildRun child;
    std::thread stopper;
    const Clock::time_point start = Clock::now();
    const ChildOutcome outcome =
        child.run(shell_arguments(child_commands::start_and_hang()), environment_without({}),
                  long_limit_ms, [&](std::string_view line) {
                      if (line == "started") stopper = std::thread([&] { child.stop(); });
                  });
    EXPECT_LT(Clock::now() - start, end_bound);
    ASSERT_TRUE(stopper.joinable());
    stopper.join();
    EXPECT_EQ(outcome.end, ChildEnd::stopped);
    EXPECT_EQ(run_shell(child, child_commands::exit_three()).outcome.end, ChildEnd::stopped);
}

TEST(ChildProcess, ParentDescriptorsAreNotInherited) {
    const std::string command = child_commands::open_descriptor_and_check_command();
    if (command.empty()) GTEST_SKIP() << "the shell cannot list the child's handles here";
    ChildRun child;
    EXPECT_EQ(run_shell(child, command).lines, (std::vector<std::string>{"closed"}));
}
