// --report: one thread that runs kelvastats-report at a low priority after the first collection,
// then again every interval in which a collection was written.
#include "collector/report_refresh.h"

#include <filesystem>
#include <utility>
#include <vector>

#include "runtime/text.h"

namespace {

constexpr std::string_view report_line_start = "kelvastats-report: ";

bool ends_with_exe(std::string_view path) {
    if (path.size() < 4) return false;
    std::string end(path.substr(path.size() - 4));
    for (char& c : end) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return end == ".exe";
}

}  // namespace

ReportRefresh::ReportRefresh(std::string report_program, std::string directory, std::string output,
                             std::int32_t every_minutes, ReportSay say_error)
    : program_(std::move(report_program)),
      directory_(std::move(directory)),
      output_(std::move(output)),
      every_(every_minutes < 1 ? 1 : every_minutes),
      say_error_(say_error),
      thread_([this] { thread_main(); }) {}

ReportRefresh::~ReportRefresh() {
    stop();
}

void ReportRefresh::collected() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        due_ = true;
    }
    wake_.notify_one();
}

void ReportRefresh::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    child_.stop();
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void ReportRefresh::thread_main() {
    // "--" before DIR: a folder whose name begins with "-" is not read as an option.
    const std::vector<std::string> arguments = {program_, "--output", output_, "--", directory_};
    // The logs may have been there since the collector's start: the program's own environment
    // but the service's credentials.
    const std::vector<std::string> environment = environment_without({"CREDENTIALS_DIRECTORY"});
    bool failing = false;
    bool made_one = false;
    std::chrono::steady_clock::time_point next_due{};
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || due_; });
            if (made_one && wake_.wait_until(lock, next_due, [this] { return stopping_; })) return;
            if (stopping_) return;
            due_ = false;
        }
        made_one = true;
        next_due = std::chrono::steady_clock::now() + every_;
        std::string report_said;  // its last line of its own: the reason it failed
        const ChildOutcome outcome = child_.run(
            arguments, environment, report_limit_ms,
            [&](std::string_view line) {
                if (line.substr(0, report_line_start.size()) == report_line_start)
                    report_said = line;
            },
            true);
        if (outcome.end == ChildEnd::stopped) return;
        std::string why;
        if (outcome.end == ChildEnd::not_started) {
            why = concat("the report program could not start: ", outcome.error);
        } else if (outcome.end == ChildEnd::over_time) {
            why = concat("the report was still running after ",
                         std::to_string(report_limit_ms / 60000), " min and was ended");
        } else if (outcome.exit_status != 0) {
            why = !report_said.empty() ? report_said
                                       : concat("the report program exited with status ",
                                                std::to_string(outcome.exit_status));
        }
        if (say_error_ == nullptr) continue;
        if (!why.empty() && !failing) {
            say_error_(concat("kelvastats-collect: the report was not made: ", why));
        } else if (why.empty() && failing) {
            say_error_(concat("kelvastats-collect: the report is made again: ", output_));
        }
        failing = !why.empty();
    }
}

std::string report_program_beside(std::string_view own_program) {
    const std::string name =
        ends_with_exe(own_program) ? "kelvastats-report.exe" : "kelvastats-report";
    return (std::filesystem::path(std::string(own_program)).parent_path() / name).string();
}
