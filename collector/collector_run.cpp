// The collector's run: the same worker, the same log steps and the same end as the window
// program, with the console in place of the window.
#include "collector/collector_run.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <vector>

#include "collect/collection_end.h"
#include "collect/collection_worker.h"
#include "collect/threads.h"
#include "collector/console_calls.h"
#include "collector/event_command.h"
#include "collector/line_news.h"
#include "collector/metrics.h"
#include "collector/mqtt_link.h"
#include "collector/report_refresh.h"
#include "collector/stop_requests.h"
#include "routers/router_families.h"
#include "runtime/child_process.h"
#include "runtime/date.h"
#include "runtime/stop.h"
#include "runtime/text.h"
#include "runtime/wake_signal.h"
#include "runtime/write_signals.h"
#include "settings/settings.h"

namespace {

constexpr std::uint32_t no_limit_ms = 0xFFFFFFFFu;
constexpr std::int32_t ms_per_minute = 60000;
// With --interval 0, the pause after a cycle that did not collect.
constexpr std::uint32_t retry_pause_ms = 1000;
// With --interval 0, the pause after a refused login: a router locks an account that fails to log
// in again and again, and a wrong password does not mend itself within a second.
constexpr std::uint32_t refused_retry_pause_ms = 60000;

// Raised by a stop request and by the worker's end; the main thread waits for it. Never
// destroyed: a late signal may still raise it while the process ends.
WakeSignal& wake() {
    static WakeSignal* const signal = new WakeSignal;
    return *signal;
}

std::atomic<WorkerEnd> worker_end{WorkerEnd::stopped};
std::atomic<bool> worker_returned{false};
// What the latest cycle came to; written on the worker, read once the worker has been joined.
bool last_cycle_collected = false;
std::string last_cycle_reason;
std::filesystem::path metrics_path;  // empty without --metrics
std::filesystem::path report_path;   // empty without --report
bool pause_after_failure = false;    // --interval 0 without --once

void worker_entry(std::int32_t parameter) {
    worker_end = collection_worker(parameter);
    worker_returned = true;
    wake().raise();
}

// The figures for Prometheus, the broker and the event command; only the worker touches them
// once it runs.
LineFigures line_figures;
bool keep_figures = false;  // --metrics, --mqtt or --on-event

// What each cycle told, and where it goes. Made before the worker starts and ended after it.
std::unique_ptr<LineNews> line_news;
std::unique_ptr<MqttLink> mqtt_link;            // null without --mqtt
std::unique_ptr<EventCommand> event_command;    // null without --on-event
std::unique_ptr<ReportRefresh> report_refresh;  // null without --report
// The environment that every event command starts from: this process's, without the systemd
// credentials' folder (where the passwords are) and without variables of our own names, so that
// the command sees only the figures set for it.
std::vector<std::string> event_base_environment;
bool metrics_failing = false;  // the latest write of the --metrics file failed

std::int64_t unix_now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Writes the --metrics file. A file that cannot be written costs no collection: it is said once
// when it starts failing and once when it is written again.
void write_metrics_now() {
    const bool failed = write_metrics_file(metrics_path.string(), metrics_text(line_figures)) != 0;
    if (failed == metrics_failing) return;
    metrics_failing = failed;
    print_error_line(
        concat("kelvastats-collect: ",
               failed ? "cannot write the metrics file " : "metrics file written again: ",
               metrics_path.string()));
}

// The news of a cycle: the broker's state, the event commands, the fresh report.
void tell_news(const CycleReport& report, std::int64_t now_unix) {
    const bool alarm = take_alarm_said();
    if (!line_news) return;
    const std::vector<LineNotice> notices =
        line_news->take_cycle(line_figures, report, now_unix, current_wall_clock(), alarm);
    if (mqtt_link) mqtt_link->publish(line_news->snapshot());
    if (event_command) {
        for (const LineNotice& notice : notices) {
            EventRun run{std::string(event_name(notice.event)), event_base_environment};
            for (std::string& variable : event_environment(notice, line_news->snapshot()))
                run.environment.push_back(std::move(variable));
            event_command->post(std::move(run));
        }
    }
    if (report_refresh && report.collected) report_refresh->collected();
}

void after_cycle(const CycleReport& report) {
    last_cycle_collected = report.collected;
    last_cycle_reason = report.reason;
    if (report.reason == "refused") {
        const bool classic = settings.router_family.load() == 0;
        print_error_line(concat(format_date("%hh:%ii", current_date()), " ",
                                classic ? "Login refused: check the password"
                                        : "the router refused the user name or password"));
    }
    if (keep_figures) {
        const std::int64_t now = unix_now();
        record_cycle(line_figures, report, now);
        if (!metrics_path.empty()) write_metrics_now();
        tell_news(report, now);
    } else if (report_refresh && report.collected) {
        report_refresh->collected();
    }
    if (report.reason == "refused" && pause_after_failure) {
        sleep_ms(refused_retry_pause_ms);
        return;
    }
    // The window program's box holds the worker until someone answers it; the console's does not,
    // so without an interval a router that refuses or hangs up at once would be tried again and
    // again as fast as the machine goes, filling the journal.
    if (!report.collected && pause_after_failure) sleep_ms(retry_pause_ms);
}

// The reason word of a cycle, said for a person.
std::string_view reason_text(std::string_view reason) {
    if (reason == "unreachable") return "the router cannot be reached";
    if (reason == "closed") return "the router closed the connection";
    if (reason == "silent") return "the router stopped answering";
    if (reason == "refused") return "the router refused the user name or password";
    return reason;
}

void fill_settings(const CollectorOptions& options, const std::string& password) {
    reset_settings_to_defaults();
    settings.router_address = options.address;
    settings.port = options.port;
    settings.interval_ms = options.interval_minutes * ms_per_minute;
    settings.alarm_threshold = options.alarm_threshold;
    settings.password = password;
    settings.user_name = options.user;
    const auto families = router_families();
    for (std::size_t i = 0; i < families.size(); ++i) {
        if (families[i]->name == options.router)
            settings.router_family = static_cast<std::int32_t>(i);
    }
    pause_after_failure = options.interval_minutes == 0 && !options.once;
    if (options.once) {
        // One cycle: the worker's loop ends after it, with no interval to wait first.
        settings.loop_flag = "once";
        settings.interval_ms = 0;
    }
}

void say_error(std::string_view line) {
    print_error_line(line);
}

void say_output(std::string_view line) {
    print_output_line(line);
}

bool own_variable(std::string_view variable) {
    return variable.starts_with("KELVASTATS_");
}

// Starts what the cycles' news goes to. Returns "" or the one line that says why it cannot.
std::string start_news(const CollectorOptions& options, const std::string& mqtt_password) {
    keep_figures =
        !options.metrics_file.empty() || !options.mqtt_url.empty() || !options.on_event.empty();
    if (!options.mqtt_url.empty() || !options.on_event.empty())
        line_news = std::make_unique<LineNews>(options.router, options.address);
    if (!options.mqtt_url.empty()) {
        MqttSettings mqtt;
        (void)read_mqtt_url(options.mqtt_url, mqtt.address);  // checked with the options
        mqtt.url = options.mqtt_url;
        mqtt.ca_file = options.mqtt_ca_file;
        mqtt.user = options.mqtt_user;
        mqtt.password = mqtt_password;
        mqtt.topics = {options.mqtt_id, options.mqtt_discovery_prefix};
        mqtt_link = std::make_unique<MqttLink>();
        if (std::string why = mqtt_link->start(mqtt, &say_error); !why.empty()) return why;
    }
    if (!options.on_event.empty()) {
        for (std::string& variable : environment_without({"CREDENTIALS_DIRECTORY"})) {
            if (!own_variable(variable)) event_base_environment.push_back(std::move(variable));
        }
        event_command = std::make_unique<EventCommand>(options.on_event, &say_output, &say_error);
    }
    if (!options.report_file.empty()) {
        const std::string program = report_program_beside(own_program_path());
        std::error_code error;
        if (!std::filesystem::is_regular_file(program, error))
            return concat("--report needs kelvastats-report beside kelvastats-collect, and ",
                          program, " is not there");
        report_refresh = std::make_unique<ReportRefresh>(
            program, std::filesystem::current_path(error).string(), report_path.string(),
            options.report_every_minutes, &say_error);
    }
    return "";
}

// Ends what start_news started, the broker last, so that its "offline" is the last word.
void end_news() {
    if (event_command) event_command->stop();
    if (report_refresh) report_refresh->stop();
    if (mqtt_link) mqtt_link->stop();
}

}  // namespace

int run_collector(const CollectorOptions& options, const std::string& password,
                  const std::string& mqtt_password) {
    fill_settings(options, password);
    ignore_write_signals();
    std::error_code error;
    if (!options.metrics_file.empty())
        metrics_path = std::filesystem::absolute(options.metrics_file, error);
    if (!options.report_file.empty())
        report_path = std::filesystem::absolute(options.report_file, error);
    std::filesystem::current_path(options.directory, error);
    if (error) {
        print_error_line(concat("kelvastats-collect: cannot write the logs in ", options.directory,
                                ": ", error.message()));
        return exit_failed;
    }
    install_console_calls();
    if (std::string why = start_news(options, mqtt_password); !why.empty()) {
        print_error_line(concat("kelvastats-collect: ", why));
        end_news();
        return exit_refused;
    }
    if (!metrics_path.empty()) {
        // Written at once, so that Prometheus knows the collector from its start.
        line_figures = start_line_figures(unix_now(), settings.interval_ms.load());
        write_metrics_now();
    }
    cycle_timing.cycle_observer = &after_cycle;
    if (!wake().ready() || !watch_stop_requests(wake())) {
        print_error_line("kelvastats-collect: cannot watch for stop requests");
        return exit_failed;
    }
    ThreadRecord* worker = start_thread(&worker_entry, settings.worker_parameter);
    if (worker == nullptr) {
        print_error_line("kelvastats-collect: cannot start the worker thread");
        return exit_failed;
    }
    settings.worker_thread = worker;
    settings.worker_started = 1;

    while (!stop_request_arrived() && !worker_returned.load()) (void)wake().wait_alone(no_limit_ms);
    end_collection();
    end_news();

    if (worker_returned.load() && worker_end.load() == WorkerEnd::program_ends) {
        // The box said what failed. Once a cycle had begun (the network had started), it was a log
        // that could not be created; this says where.
        if (settings.dialog_state.load() != 0)
            print_error_line(concat("kelvastats-collect: ended: the logs cannot be created in ",
                                    std::filesystem::current_path(error).string()));
        return exit_failed;
    }
    if (!options.once || stop_request_arrived()) return exit_done;
    if (last_cycle_collected) return exit_done;
    print_error_line(concat("kelvastats-collect: no collection: ", reason_text(last_cycle_reason)));
    return exit_not_collected;
}
