// The long run: 2,000 collections back to back against the simulated router with growing
// counters. Every collection must leave its two lines with the right changes, and the worker must
// neither keep descriptors nor grow in memory. The simulator runs in a child process, so its
// records of 2,000 sessions do not count in the memory measured here.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "collect/collection_worker.h"
#include "runtime/ui_calls.h"
#include "settings/settings.h"
#include "tools/router_replies.h"
#include "tools/router_sim.h"
#include "worker_fixture.h"

namespace {

constexpr int collections = 2000;
constexpr int warmed_up_after = 200;
constexpr std::int64_t allowed_growth_bytes = 1024 * 1024;
constexpr int child_wait_ms = 120 * 1000;

const LineCounters first_counters{1200, 30, 2, 0, 5};
const LineCounters counter_growth{50, 3, 2, 1, 7};

// Each write and read is a few bytes; a pipe moves them whole.
template <typename Value>
bool write_value(int fd, const Value& value) {
    return write(fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value);
}

template <typename Value>
bool read_value(int fd, Value& value, int wait_ms = child_wait_ms) {
    pollfd readable{fd, POLLIN, 0};
    if (poll(&readable, 1, wait_ms) <= 0) return false;
    return read(fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value);
}

// The child's side: the simulated router, parked at the session after `warmed_up_after` and after
// `collections` collections; each time the worker waits there the parent hears of it and says
// when to go on. At the end the parent hears how many sessions received exactly the script.
[[noreturn]] void serve_as_router(int to_parent, int from_parent) {
    RouterSimOptions options;
    options.first_counters = first_counters;
    options.counter_growth = counter_growth;
    options.park_from_session = warmed_up_after + 1;
    RouterSim sim(options);
    if (!sim.start()) _exit(1);
    const auto wait = std::chrono::milliseconds(child_wait_ms);
    char go = 0;
    if (!write_value(to_parent, sim.port())) _exit(1);
    if (!sim.wait_for_sessions_started(warmed_up_after + 1, wait)) _exit(1);
    if (!write_value(to_parent, warmed_up_after) || !read_value(from_parent, go)) _exit(1);
    sim.set_park_from_session(collections + 1);
    if (!sim.wait_for_sessions_started(collections + 1, wait)) _exit(1);
    if (!write_value(to_parent, collections) || !read_value(from_parent, go)) _exit(1);
    // The worker has quit: once every session has ended, each holds all it will receive.
    if (!sim.wait_for_sessions_ended(collections + 1, wait)) _exit(1);
    std::int32_t scripted = 0;
    for (const SessionRecord& session : sim.sessions()) {
        if (session.number <= collections && session.received == script && session.completed) {
            ++scripted;
        }
    }
    write_value(to_parent, scripted);
    sim.stop();
    _exit(0);
}

// The router's process; a test that ends early takes it down with it.
class ChildProcess {
  public:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ~ChildProcess() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits for the process to end; true when it exited with status 0.
    bool exited_well() {
        int status = 0;
        const bool waited = waitpid(pid_, &status, 0) == pid_;
        pid_ = 0;
        return waited && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

  private:
    pid_t pid_;
};

std::int64_t resident_bytes() {
    std::ifstream statm("/proc/self/statm");
    std::int64_t size_pages = 0, resident_pages = 0;
    statm >> size_pages >> resident_pages;
    return resident_pages * sysconf(_SC_PAGESIZE);
}

int open_descriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// Only the latest status: a growing record of 2,000 of them would count in the memory measured.
std::mutex status_mutex;
std::string latest_status;

void keep_latest_status(int, int, std::string_view text) {
    std::lock_guard lock(status_mutex);
    latest_status = text;
}

int count_box(std::string_view, std::string_view, int) {
    ADD_FAILURE() << "a box was shown";
    return 1;
}

std::vector<std::string> expected_deltas(int collection) {
    if (collection == 0) return {"0", "0", "0", "0", "0"};
    const LineCounters& g = counter_growth;
    return {std::to_string(g.fec), std::to_string(g.crc), std::to_string(g.hec),
            std::to_string(g.ncd), std::to_string(g.ocd)};
}

using WorkerSoak = WorkerTest;

TEST_F(WorkerSoak, TwoThousandCollectionsLogEveryLineAndKeepNeitherDescriptorsNorMemory) {
    install_ui_calls(UiCalls{&keep_latest_status, &count_box});
    // With every reply sent in one piece, a pass of 1 ms still reads each one whole.
    cycle_timing.pass_pause_ms = 1;

    int to_parent[2];
    int from_parent[2];
    ASSERT_EQ(pipe2(to_parent, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(from_parent, O_CLOEXEC), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(to_parent[0]);
        close(from_parent[1]);
        serve_as_router(to_parent[1], from_parent[0]);
    }
    ChildProcess router(pid);
    close(to_parent[1]);
    close(from_parent[0]);
    std::uint16_t port = 0;
    ASSERT_TRUE(read_value(to_parent[0], port, 5000));
    settings.port = port;

    const int descriptors_at_start = open_descriptors();
    const auto start = std::chrono::steady_clock::now();
    start_worker();
    int parked_after = 0;
    const char go = 1;

    ASSERT_TRUE(read_value(to_parent[0], parked_after));
    ASSERT_EQ(parked_after, warmed_up_after);
    const std::int64_t resident_warmed_up = resident_bytes();
    const int descriptors_warmed_up = open_descriptors();
    ASSERT_TRUE(write_value(from_parent[1], go));

    ASSERT_TRUE(read_value(to_parent[0], parked_after));
    ASSERT_EQ(parked_after, collections);
    const std::int64_t resident_at_end = resident_bytes();
    const int descriptors_at_end = open_descriptors();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    quit();
    ASSERT_TRUE(write_value(from_parent[1], go));
    std::int32_t scripted = 0;
    EXPECT_TRUE(read_value(to_parent[0], scripted, 5000));
    EXPECT_TRUE(router.exited_well());
    const int descriptors_after_quit = open_descriptors();
    close(to_parent[0]);
    close(from_parent[1]);

    std::printf(
        "soak: %d collections in %.1f s; resident %.1f KiB after %d, %.1f KiB after %d; "
        "%d descriptors while parked, %d before and after\n",
        collections, seconds, resident_warmed_up / 1024.0, warmed_up_after,
        resident_at_end / 1024.0, collections, descriptors_at_end, descriptors_at_start);
    RecordProperty("seconds", std::to_string(seconds));
    RecordProperty("resident_after_200", std::to_string(resident_warmed_up));
    RecordProperty("resident_after_2000", std::to_string(resident_at_end));

    EXPECT_EQ(scripted, collections) << "sessions that received exactly the script";
    EXPECT_EQ(descriptors_at_end, descriptors_warmed_up);
    EXPECT_EQ(descriptors_after_quit, descriptors_at_start);
    EXPECT_LE(resident_at_end - resident_warmed_up, allowed_growth_bytes);

    const std::vector<std::string> stats = log_lines("kelvastats.csv");
    const std::vector<std::string> bins = log_lines("kelvabins.csv");
    ASSERT_EQ(stats.size(), 1u + collections);
    ASSERT_EQ(bins.size(), 2u + collections);
    const std::string stats_header =
        "Date, Time,FCDeltaFEC,FCDeltaCRC,FCDeltaHEC,FCDeltaNCD,FCDeltaOCD,";
    EXPECT_EQ(stats[0].substr(0, stats_header.size()), stats_header);
    EXPECT_EQ(bins[0].substr(0, 20), "Date, Time,Bin0,Bin1");
    EXPECT_EQ(bins[1].substr(0, 8), "N/A, N/A");
    int wrong_deltas = 0;
    int wrong_totals = 0;
    for (int k = 0; k < collections; ++k) {
        const std::vector<std::string> stats_fields = fields_of(stats[1 + k]);
        const std::vector<std::string> deltas(stats_fields.begin() + 2, stats_fields.begin() + 7);
        if (deltas != expected_deltas(k) && ++wrong_deltas <= 3) {
            ADD_FAILURE() << "statistics line " << k + 1 << ": " << stats[1 + k];
        }
        if (fields_of(bins[2 + k]).back() != std::to_string(showbins_total(k)) &&
            ++wrong_totals <= 3) {
            ADD_FAILURE() << "bins line " << k + 1 << " ends " << fields_of(bins[2 + k]).back();
        }
    }
    EXPECT_EQ(wrong_deltas, 0);
    EXPECT_EQ(wrong_totals, 0);
    std::lock_guard lock(status_mutex);
    EXPECT_EQ(latest_status, "Collection: 17:08   DeltaCRC: " + std::to_string(counter_growth.crc));
}

}  // namespace
