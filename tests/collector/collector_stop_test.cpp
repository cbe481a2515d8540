// Stopping kelvastats-collect as systemd and Ctrl+C do: SIGTERM at each stage of the cycle ends it
// within 500 ms with status 0 and whole log lines; and over two collections its logs are the
// window program's. POSIX: the program runs as a child process that the test signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness/temp_dir.h"
#include "tests/collect/loopback.h"
#include "tests/support/file_bytes.h"
#include "tools/router_sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto end_limit = milliseconds(500);
constexpr auto stage_wait_limit = std::chrono::seconds(20);

// kelvastats-collect as a child process: its standard output through a pipe that the test reads,
// its standard error to a file.
class CollectorProcess {
  public:
    CollectorProcess(const std::vector<std::string>& arguments, const std::string& error_file) {
        int output[2];
        if (pipe(output) != 0) return;
        // The program's path, after the emulator and its options where it is cross-built.
        std::istringstream command(KELVA_COLLECT_PROGRAM);
        std::vector<std::string> words{std::istream_iterator<std::string>(command), {}};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(output[1], STDOUT_FILENO);
            const int errors = open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(errors, STDERR_FILENO);
            const int nothing = open("/dev/null", O_RDONLY);
            dup2(nothing, STDIN_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(output[1]);
        output_ = output[0];
        // The child's end, reaped on a thread of its own so that the test can wait with a limit.
        if (pid_ > 0) {
            ended_ = std::async(std::launch::async, [pid = pid_] {
                int status = 0;
                while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
                }
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            });
        }
    }
    ~CollectorProcess() {
        if (pid_ > 0 && ended_.valid() &&
            ended_.wait_for(milliseconds(0)) != std::future_status::ready)
            kill(pid_, SIGKILL);
        if (output_ >= 0) close(output_);
    }
    CollectorProcess(const CollectorProcess&) = delete;
    CollectorProcess& operator=(const CollectorProcess&) = delete;

    // True once the standard output holds `text`, false when it did not come within the limit.
    bool wait_for_output(const std::string& text) {
        const auto deadline = Clock::now() + stage_wait_limit;
        while (output_text_.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            pollfd readable{output_, POLLIN, 0};
            if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0)
                return false;
            char bytes[512];
            const ssize_t count = read(output_, bytes, sizeof bytes);
            if (count <= 0) return false;
            output_text_.append(bytes, static_cast<std::size_t>(count));
        }
        return true;
    }

    // Sends SIGTERM; the exit status and how long the program took to end (-1 and the limit when
    // it did not end in time).
    std::pair<int, milliseconds> terminate() {
        const auto sent = Clock::now();
        kill(pid_, SIGTERM);
        if (ended_.wait_for(std::chrono::seconds(5)) != std::future_status::ready)
            return {-1, std::chrono::seconds(5)};
        return {ended_.get(), std::chrono::duration_cast<milliseconds>(Clock::now() - sent)};
    }

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string output_text_;
    std::future<int> ended_;
};

// The log's lines with each collection's date and time masked; every line must be whole.
std::vector<std::string> whole_masked_lines(const std::string& log) {
    static const std::regex stamp("^\\d\\d/\\d\\d/\\d\\d,\\d\\d:\\d\\d,");
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < log.size()) {
        const std::size_t end = log.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a line is not whole: " << log.substr(start, 80);
            break;
        }
        lines.push_back(std::regex_replace(log.substr(start, end + 2 - start), stamp, "DATE,TIME,",
                                           std::regex_constants::format_first_only));
        start = end + 2;
    }
    return lines;
}

class CollectorStop : public ::testing::Test {
  protected:
    void SetUp() override { write_secret_file(path("password"), "secret\n"); }
    std::string path(const std::string& name) const { return dir_.path() + "/" + name; }
    std::vector<std::string> arguments(std::uint16_t port, const std::string& interval) const {
        return {"--address", "127.0.0.1",   "--port",    std::to_string(port), "--interval",
                interval,    "--directory", dir_.path(), "--password-file",    path("password")};
    }
    std::vector<std::string> log_lines(const std::string& name) const {
        return whole_masked_lines(read_file_bytes(path(name)));
    }

    TempDir dir_{"kelva_collector_stop_"};
};

TEST_F(CollectorStop, TwoCollectionsLogTheWindowProgramsLinesAndSayTheAlarm) {
    RouterSimOptions options;
    options.close_on_exit = false;  // a session ends when the collector has logged it
    RouterSim router(options);
    ASSERT_TRUE(router.start()) << router.error();
    std::vector<std::string> words = arguments(router.port(), "0");
    words.insert(words.end(), {"--alarm", "2"});  // the second collection's CRC change is 3
    CollectorProcess collector(words, path("err"));
    ASSERT_TRUE(router.wait_for_sessions_ended(2));
    const auto [status, took] = collector.terminate();
    EXPECT_EQ(status, 0) << read_file_bytes(path("err"));
    // A server has no speaker: the alarm is said, with the time, for each collection after the
    // first.
    EXPECT_TRUE(std::regex_match(
        read_file_bytes(path("err")),
        std::regex("(\\d\\d:\\d\\d alarm: DeltaCRC 3 is over the threshold of 2\n)+")))
        << read_file_bytes(path("err"));

    const auto expected = [](const std::string& name) {
        return whole_masked_lines(read_file_bytes(std::string(KELVA_TEST_DATA_DIR) + "/" + name));
    };
    // The end-to-end test keeps the window program's first two collections with stamps masked.
    std::vector<std::string> statistics = log_lines("kelvastats.csv");
    std::vector<std::string> bins = log_lines("kelvabins.csv");
    ASSERT_GE(statistics.size(), 3u);
    ASSERT_GE(bins.size(), 4u);
    statistics.resize(3);
    bins.resize(4);
    EXPECT_EQ(statistics, expected("end_to_end_stats.csv"));
    EXPECT_EQ(bins, expected("end_to_end_bins.csv"));
}

TEST_F(CollectorStop, TermAtEachStageEndsWithinTheLimitWithWholeLines) {
    // Each stage is held by the router (or the network) until the signal comes.
    // The lines each log holds when the signal comes (header lines included): none before the
    // statistics step, the statistics line alone before the bins step, both after it.
    const struct {
        std::string stage;
        std::size_t statistics_lines, bins_lines;
    } stages[] = {{"connecting", 0, 0},
                  {"in the dialog", 0, 0},
                  {"between the log steps", 2, 0},
                  {"in the interval wait", 2, 3}};
    for (const auto& [stage, statistics_lines, bins_lines] : stages) {
        SCOPED_TRACE(stage);
        std::filesystem::remove(path("kelvastats.csv"));
        std::filesystem::remove(path("kelvabins.csv"));
        RouterSimOptions options;
        options.close_on_exit = false;  // a session ends when the collector has logged it
        ReplyFault& status_fault = options.faults[static_cast<std::size_t>(ReplyPoint::status)];
        ReplyFault& bins_fault = options.faults[static_cast<std::size_t>(ReplyPoint::bins)];
        if (stage == "in the dialog") status_fault.action = ReplyAction::fall_silent;
        if (stage == "between the log steps") bins_fault.delay_ms = 60000;
        std::promise<void> fell_silent;
        options.log = [&fell_silent, done = false](std::string_view event) mutable {
            if (!done && event.ends_with("falls silent")) {
                done = true;
                fell_silent.set_value();
            }
        };
        RouterSim router(options);
        ASSERT_TRUE(router.start()) << router.error();
        loopback::FullListener full;
        if (stage == "connecting" && !full.holds_connects()) {
            ADD_FAILURE() << "the system completes connects beyond a full queue";
            continue;
        }

        const std::uint16_t port = stage == "connecting" ? full.port() : router.port();
        const int already_pending = loopback::syn_sent_count(port);
        CollectorProcess collector(arguments(port, "1"), path("err"));
        if (stage == "connecting") {
            ASSERT_TRUE(loopback::wait_for_pending_connects(port, already_pending + 1));
        } else if (stage == "in the dialog") {
            ASSERT_EQ(fell_silent.get_future().wait_for(stage_wait_limit),
                      std::future_status::ready);
        } else if (stage == "between the log steps") {
            ASSERT_TRUE(collector.wait_for_output("Collection: "));
        } else {
            ASSERT_TRUE(router.wait_for_sessions_ended(1));
        }
        const auto [status, took] = collector.terminate();
        EXPECT_EQ(status, 0) << read_file_bytes(path("err"));
        EXPECT_LE(took, end_limit);

        EXPECT_EQ(log_lines("kelvastats.csv").size(), statistics_lines);
        EXPECT_EQ(log_lines("kelvabins.csv").size(), bins_lines);
    }
}

TEST_F(CollectorStop, TermInTheMiddleOfALongReplyEndsWithinTheLimitAndLogsNothingOfIt) {
    // The Broadcom router's 4096-tone table goes out in pieces a minute apart: the collector is
    // reading it when the signal comes.
    RouterSimOptions options;
    options.family = SimFamily::broadcom;
    ReplyFault& bins_fault = options.faults[static_cast<std::size_t>(ReplyPoint::bins)];
    bins_fault.chunks = 20;
    bins_fault.chunk_pause_ms = 60000;
    std::promise<void> asked;
    options.log = [&asked, done = false](std::string_view event) mutable {
        if (!done && event.ends_with("<- \"xdslctl info --Bits\"")) {
            done = true;
            asked.set_value();
        }
    };
    RouterSim router(options);
    ASSERT_TRUE(router.start()) << router.error();
    std::vector<std::string> words = arguments(router.port(), "1");
    words.insert(words.end(), {"--router", "broadcom"});
    CollectorProcess collector(words, path("err"));
    ASSERT_EQ(asked.get_future().wait_for(stage_wait_limit), std::future_status::ready);
    const auto [status, took] = collector.terminate();
    EXPECT_EQ(status, 0) << read_file_bytes(path("err"));
    EXPECT_LE(took, end_limit);
    // The collection had not ended: neither log has a line of it, nor a line begun.
    EXPECT_FALSE(std::filesystem::exists(path("kelvaline.csv")));
    EXPECT_FALSE(std::filesystem::exists(path("kelvatones.csv")));
}

}  // namespace
