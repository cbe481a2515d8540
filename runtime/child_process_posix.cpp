// ChildRun with fork and execve: the child in a process group of its own, so that its limit or a
// stop ends the programs it started too; poll() waits on its output pipe, its pidfd and the stop
// eventfd together.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <system_error>

#include "runtime/child_output_lines.h"
#include "runtime/child_process.h"

extern char** environ;

namespace {

// How long a child has after SIGTERM to end with its programs before SIGKILL.
constexpr int end_grace_ms = 1000;
// Without a pidfd (a kernel before 5.3) the end of a child that closed its output is looked for
// this often.
constexpr int exit_check_ms = 50;
constexpr int low_priority_nice = 10;

using Clock = std::chrono::steady_clock;

int ms_until(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left < INT_MAX ? left : INT_MAX);
}

// A descriptor above the standard three, so that the child's dup2 onto 0, 1 and 2 cannot
// overwrite it even in a parent that closed its own standard ones.
int above_standard(int fd) {
    if (fd < 0 || fd > 2) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

void close_if_open(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

struct Pipe {
    int read_end = -1, write_end = -1;

    bool open() {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return false;
        read_end = above_standard(ends[0]);
        write_end = above_standard(ends[1]);
        return read_end >= 0 && write_end >= 0;
    }
    ~Pipe() {
        close_if_open(read_end);
        close_if_open(write_end);
    }
};

int open_pidfd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// In the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void become_program(char* const* argv, char* const* envp, int null_fd, int output_fd,
                                 int error_fd, int highest_fd, bool low_priority) {
    setpgid(0, 0);
    if (low_priority) (void)!nice(low_priority_nice);
    // The caller may block or ignore signals (its stop requests, SIGPIPE); exec keeps both.
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &plain, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (dup2(null_fd, 0) < 0 || dup2(output_fd, 1) < 0 || dup2(output_fd, 2) < 0) {
        const int error = errno;
        (void)!write(error_fd, &error, sizeof error);
        _exit(127);
    }
    // Every other descriptor closes at exec: the caller's sockets and logs never reach the
    // program, and error_fd tells the parent that exec happened by closing.
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = 3; fd <= highest_fd; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    execve(argv[0], argv, envp);
    const int error = errno;
    (void)!write(error_fd, &error, sizeof error);
    _exit(127);
}

std::vector<char*> pointers_to(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

int exit_status_of(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

bool has_exited(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

// The running child: its pid (unreaped until the end, so that its process group's number stays
// its own), its pidfd, its output.
struct Running {
    pid_t pid = -1;
    int pidfd = -1;
    int output = -1;
    bool exited = false;
    ChildOutputLines* lines = nullptr;

    bool output_open() const { return output >= 0; }

    // Reads what the output has now; closes it at its end.
    void read_output() {
        char buffer[65536];
        const ssize_t n = read(output, buffer, sizeof buffer);
        if (n > 0) {
            lines->add(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            close_if_open(output);
        }
    }

    // One wait of at most timeout_ms for output, the child's end, or wake_fd (-1: not watched).
    // True when wake_fd rang.
    bool wait_once(int timeout_ms, int wake_fd) {
        pollfd fds[3];
        nfds_t count = 0;
        const int output_at = output_open() ? static_cast<int>(count++) : -1;
        if (output_at >= 0) fds[output_at] = {output, POLLIN, 0};
        const int pidfd_at = !exited && pidfd >= 0 ? static_cast<int>(count++) : -1;
        if (pidfd_at >= 0) fds[pidfd_at] = {pidfd, POLLIN, 0};
        const int wake_at = wake_fd >= 0 ? static_cast<int>(count++) : -1;
        if (wake_at >= 0) fds[wake_at] = {wake_fd, POLLIN, 0};
        if (!exited && pidfd < 0 && !output_open()) {
            timeout_ms = timeout_ms < exit_check_ms ? timeout_ms : exit_check_ms;
        }
        const int ready = poll(fds, count, timeout_ms);
        if (ready < 0) return false;  // EINTR: the caller looks again
        if (output_at >= 0 && fds[output_at].revents != 0) read_output();
        if (pidfd_at >= 0 && fds[pidfd_at].revents != 0) exited = true;
        if (!exited && pidfd < 0 && !output_open()) exited = has_exited(pid);
        return wake_at >= 0 && fds[wake_at].revents != 0;
    }

    bool ended() const { return exited && !output_open(); }

    // SIGTERM to the whole group, a grace to end, then SIGKILL to what is left of it. The child
    // is not reaped yet, so the group's number cannot belong to anyone else.
    void end_group() {
        kill(-pid, SIGTERM);
        const Clock::time_point grace_end = Clock::now() + std::chrono::milliseconds(end_grace_ms);
        while (!ended()) {
            const int left_ms = ms_until(grace_end);
            if (left_ms == 0) break;
            wait_once(left_ms, -1);
        }
        kill(-pid, SIGKILL);
    }

    int reap() {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return exit_status_of(status);
    }
};

}  // namespace

struct ChildRun::State {
    int wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::atomic<bool> stopped{false};

    ~State() { close_if_open(wake_fd); }
};

ChildRun::ChildRun() : state_(std::make_unique<State>()) {}

ChildRun::~ChildRun() = default;

void ChildRun::stop() {
    state_->stopped = true;
    const std::uint64_t one = 1;
    if (state_->wake_fd >= 0) (void)!write(state_->wake_fd, &one, sizeof one);
}

ChildOutcome ChildRun::run(const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment, std::uint32_t time_limit_ms,
                           const std::function<void(std::string_view line)>& on_line,
                           bool low_priority) {
    ChildOutcome outcome;
    if (state_->stopped) {
        outcome.end = ChildEnd::stopped;
        return outcome;
    }
    if (arguments.empty()) {
        outcome.error = "no program to run";
        return outcome;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(time_limit_ms);
    const std::vector<char*> argv = pointers_to(arguments);
    const std::vector<char*> envp = pointers_to(environment);
    rlimit files{};
    const int highest_fd = getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < INT_MAX
                               ? static_cast<int>(files.rlim_cur)
                               : 65536;
    Pipe output, exec_error;
    int null_fd = above_standard(open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!output.open() || !exec_error.open() || null_fd < 0) {
        outcome.error =
            "cannot run " + arguments[0] + ": " + std::generic_category().message(errno);
        close_if_open(null_fd);
        return outcome;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        become_program(argv.data(), envp.data(), null_fd, output.write_end, exec_error.write_end,
                       highest_fd, low_priority);
    }
    close_if_open(null_fd);
    close_if_open(output.write_end);
    close_if_open(exec_error.write_end);
    if (pid < 0) {
        outcome.error =
            "cannot run " + arguments[0] + ": " + std::generic_category().message(errno);
        return outcome;
    }
    setpgid(pid, pid);  // as the child does, so that kill(-pid) reaches it whichever runs first

    int exec_errno = 0;
    ssize_t got = 0;
    while ((got = read(exec_error.read_end, &exec_errno, sizeof exec_errno)) < 0 &&
           errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof exec_errno)) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        outcome.error =
            "cannot run " + arguments[0] + ": " + std::generic_category().message(exec_errno);
        return outcome;
    }

    ChildOutputLines lines(on_line);
    Running child;
    child.pid = pid;
    child.pidfd = open_pidfd(pid);
    child.output = output.read_end;
    output.read_end = -1;
    child.lines = &lines;
    outcome.end = ChildEnd::exited;
    while (!child.ended()) {
        const int left_ms = ms_until(deadline);
        if (left_ms == 0) {
            outcome.end = ChildEnd::over_time;
            break;
        }
        if (child.wait_once(left_ms, state_->wake_fd) || state_->stopped) {
            outcome.end = ChildEnd::stopped;
            break;
        }
    }
    if (outcome.end != ChildEnd::exited) child.end_group();
    outcome.exit_status = child.reap();
    close_if_open(child.output);
    close_if_open(child.pidfd);
    lines.finish();
    return outcome;
}

std::vector<std::string> shell_arguments(std::string_view command) {
    return {"/bin/sh", "-c", std::string(command)};
}

std::vector<std::string> environment_without(const std::vector<std::string_view>& left_out) {
    std::vector<std::string> kept;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        const std::string_view name = text.substr(0, text.find('='));
        bool leave = false;
        for (std::string_view out : left_out) leave = leave || name == out;
        if (!leave) kept.emplace_back(text);
    }
    return kept;
}

std::string own_program_path() {
    std::string path(256, '\0');
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) return "";
        if (static_cast<std::size_t>(n) < path.size()) {
            path.resize(static_cast<std::size_t>(n));
            return path;
        }
        path.resize(path.size() * 2);
    }
}
