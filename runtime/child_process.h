// Another program run apart from the caller's work: its output read line by line, its standard
// input the null device, none of the caller's open files or sockets passed on, and ended (with
// the programs it started) when it overruns its time or the caller stops it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum class ChildEnd {
    exited,       // it ended by itself; exit_status holds its status
    over_time,    // it was still running at the time limit and was ended
    stopped,      // ChildRun::stop() ended it
    not_started,  // it could not be started; error says why
};

struct ChildOutcome {
    ChildEnd end = ChildEnd::not_started;
    int exit_status =
        -1;             // for exited: its exit status (128 + the signal for one ended by a signal)
    std::string error;  // for not_started: one line
};

// One child at a time. run() on one thread; stop() from any other.
class ChildRun {
  public:
    ChildRun();
    ~ChildRun();
    ChildRun(const ChildRun&) = delete;
    ChildRun& operator=(const ChildRun&) = delete;

    // Runs the program arguments[0] (a path; not looked up) with the rest as its arguments and
    // with exactly `environment` ("NAME=value" each) as its environment. Each line it writes to
    // standard output or standard error goes to on_line, without its line end (LF or CR LF), on
    // the calling thread; a line longer than 4096 bytes comes in pieces, and a last line without
    // a line end comes too. It has ended once it has exited and its output is closed: a program
    // it started that keeps the output open counts as still running. At time_limit_ms or on
    // stop() it and the programs it started are asked to end (SIGTERM to its process group) and
    // ended a second later (SIGKILL); on Windows they are ended at once (its job object).
    // low_priority: it runs at a lower priority than the caller (nice +10, or below normal).
    // On Windows the strings are in the program's code page, as its other file names are.
    ChildOutcome run(const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment, std::uint32_t time_limit_ms,
                     const std::function<void(std::string_view line)>& on_line,
                     bool low_priority = false);

    // Ends the child that run() is running now, and makes the next run() end at once as stopped.
    void stop();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The arguments that run `command` through the system's shell: /bin/sh -c COMMAND, or
// %ComSpec% /c COMMAND on Windows, where run() hands COMMAND to cmd.exe as it is, not quoted as
// an argument (cmd.exe /d /s /c "COMMAND": no AutoRun, and only the added quotes taken off).
std::vector<std::string> shell_arguments(std::string_view command);

// This process's environment, "NAME=value" each, without the variables named in `left_out`.
std::vector<std::string> environment_without(const std::vector<std::string_view>& left_out);

// The path of the program file this process runs.
std::string own_program_path();
