// The worker's collection cycle: connect, answer each chunk with the next line of the script, run
// the statistics and bins steps, close, wait the interval; again until a stop is requested.
#include "collect/collection_worker.h"

#include <chrono>
#include <string>
#include <vector>

#include "collect/network.h"
#include "collect/prompt_dialog.h"
#include "collect/router_dialog.h"
#include "routers/router_families.h"
#include "runtime/date.h"
#include "runtime/stop.h"
#include "runtime/text.h"
#include "runtime/timer_resolution.h"
#include "runtime/ui_calls.h"
#include "settings/settings.h"
#include "stats/bins_log.h"
#include "stats/line_step.h"
#include "stats/statistics_log.h"
#include "stats/status_line.h"

CycleTiming cycle_timing;

namespace {

// One read never takes more than this; a longer reply is read over several passes.
constexpr std::int32_t receive_buffer_bytes = 8192;

constexpr std::string_view box_title = "KelvaStats";

enum class CycleEnd {
    finished,      // the dialog ran to "exit", or the router dropped out of it
    stopped,       // a stop was requested
    program_ends,  // a log step showed its fatal box
};

// What the cycle under way has come to; handed to cycle_timing.cycle_observer at its end.
struct CycleOutcome {
    std::string_view reason = "closed";
    std::string status_reply;
    std::string bins_reply;
    bool collected = false;
    LineRecord record;  // what a family's replies gave, once collected
    bool has_record = false;
};

// The clock hour (date value / 3600) in which a family's hourly commands were last sent; -1 before
// the first cycle of this worker.
std::int64_t hourly_sent_in = -1;

// Tells the user in the status line why a cycle ended without its collection.
void show_cycle_abandoned(std::string_view text) {
    show_cycle_status(concat(format_date("%hh:%ii", current_date()), " ", text));
}

// The receive loop of one connected cycle. A stop request ends it at the next wait; the log steps
// run to the end of their line before it is looked at.
CycleEnd receive_loop(Connection* connection, const MemoryBlock& buffer, CycleOutcome& outcome) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point last_chunk = Clock::now();
    PassRecord record;
    record.connected_at = last_chunk;
    const auto report = [&record](bool last) {
        record.dialog_state = settings.dialog_state.load();
        record.last = last;
        if (const PassObserver observer = cycle_timing.pass_observer.load()) observer(record);
    };
    for (;;) {
        ++record.pass;
        record.polled_at = Clock::now();
        record.sent_at = {};
        record.pause_began_at = record.pause_ended_at = {};
        bool status_reply_arrived = false;
        if (connection_event(connection) == data_network_event) {
            std::int32_t count = receive_bytes(connection, buffer.bytes.get(), buffer.size);
            settings.received_text = peek_string(buffer, count);
            // The chunk that answers the password: a refusal ends the cycle before a command goes
            // out as a second password, and nothing of it is logged.
            if (settings.dialog_state.load() == command_state &&
                login_refused(settings.received_text)) {
                show_cycle_abandoned("Login refused: check the password");
                outcome.reason = "refused";
                report(true);
                return CycleEnd::finished;
            }
            dialog_step();
            last_chunk = record.sent_at = Clock::now();
            // The chunk just answered with "adsl showbins" was the status reply.
            status_reply_arrived = settings.dialog_state.load() == bins_reply_state;
        } else if (connection_closed(connection)) {
            show_cycle_abandoned("router closed the connection");
            report(true);
            return CycleEnd::finished;
        } else if (Clock::now() - last_chunk >=
                   std::chrono::milliseconds(cycle_timing.dialog_silence_limit_ms.load())) {
            show_cycle_abandoned("no answer from the router");
            outcome.reason = "silent";
            report(true);
            return CycleEnd::finished;
        }

        record.pause_began_at = Clock::now();
        if (wait_or_stop(cycle_timing.pass_pause_ms.load())) return CycleEnd::stopped;
        record.pause_ended_at = Clock::now();

        // Only in the pass whose chunk brought the status reply: a bit-loading reply that is slow
        // to come must not log the same status reply again at every pass.
        if (status_reply_arrived && settings.dialog_state.load() == bins_reply_state) {
            if (cycle_timing.cycle_observer.load()) outcome.status_reply = settings.received_text;
            if (write_statistics() == LogStep::program_ends) return CycleEnd::program_ends;
            if (stop_requested()) return CycleEnd::stopped;
        }
        if (settings.dialog_state.load() == done_state) {  // the bit-loading reply arrived
            if (cycle_timing.cycle_observer.load()) outcome.bins_reply = settings.received_text;
            if (write_bins() == LogStep::program_ends) return CycleEnd::program_ends;
            outcome.collected = true;
            if (stop_requested()) return CycleEnd::stopped;
        }
        const bool finished = settings.dialog_finished.load() == 1;
        report(finished);
        if (finished) return CycleEnd::finished;
    }
}

// The start of every cycle: the dialog at its first state and the connection to the router. Null
// when there is none; `end` then says how the cycle ended (the box was shown, or a stop came).
Connection* connect_for_cycle(CycleOutcome& outcome, CycleEnd& end) {
    settings.dialog_state = password_state;
    settings.dialog_finished = 0;
    Connection* connection = open_connection(settings.router_address.get(), settings.port.load());
    settings.connection = connection;
    if (connection != nullptr) return connection;
    if (stop_requested()) {
        end = CycleEnd::stopped;
        return nullptr;
    }
    message_box(box_title, "Can't find the server", 0);
    outcome.reason = "unreachable";
    end = CycleEnd::finished;
    return nullptr;
}

// One cycle up to the close of its connection (the interval wait is the caller's).
CycleEnd run_cycle(const MemoryBlock& buffer, CycleOutcome& outcome) {
    // The interval wait needs no fine timing; the passes' 300 ms pauses do.
    const FineTimerResolution fine_timing;
    CycleEnd end = CycleEnd::finished;
    Connection* connection = connect_for_cycle(outcome, end);
    if (connection == nullptr) return end;
    end = receive_loop(connection, buffer, outcome);
    // Forgotten as well as closed, so nothing can reach the released connection afterwards.
    settings.connection = nullptr;
    close_connection(connection);
    return end;
}

// One cycle of a family answered by its prompts, up to the close of its connection: log in, the
// commands, then the record its replies give and the line step on it.
CycleEnd run_family_cycle(const RouterFamily& family, CycleOutcome& outcome) {
    // The dialog state is not the classic dialog's here, but it tells that a cycle has begun.
    CycleEnd connect_end = CycleEnd::finished;
    Connection* connection = connect_for_cycle(outcome, connect_end);
    if (connection == nullptr) return connect_end;
    const std::int64_t hour = current_date() / 3600;
    const bool hourly = hour != hourly_sent_in;
    std::vector<std::size_t> commands;
    for (std::size_t i = 0; i < family.commands.size(); ++i) {
        if (hourly || !family.commands[i].hourly) commands.push_back(i);
    }
    const std::string password = settings.password.get();
    const PromptDialogScript script{&family, commands, settings.user_name, password,
                                    cycle_timing.dialog_silence_limit_ms.load()};
    std::vector<std::string> replies;
    const PromptDialogEnd end = run_prompt_dialog(connection, script, replies);
    settings.connection = nullptr;
    close_connection(connection);
    switch (end) {
        case PromptDialogEnd::stopped:
            return CycleEnd::stopped;
        case PromptDialogEnd::closed:
            show_cycle_abandoned("router closed the connection");
            return CycleEnd::finished;
        case PromptDialogEnd::silent:
            show_cycle_abandoned("no answer from the router");
            outcome.reason = "silent";
            return CycleEnd::finished;
        case PromptDialogEnd::refused:
            show_cycle_abandoned("the router refused the user name or password");
            outcome.reason = "refused";
            return CycleEnd::finished;
        case PromptDialogEnd::done:
            break;
    }
    settings.dialog_finished = 1;
    if (hourly) hourly_sent_in = hour;
    for (std::size_t k = 0; k < replies.size(); ++k) {
        family.commands[commands[k]].read_reply(replies[k], outcome.record);
    }
    if (write_line_logs(outcome.record) == LogStep::program_ends) return CycleEnd::program_ends;
    outcome.has_record = true;
    outcome.collected = true;
    if (stop_requested()) return CycleEnd::stopped;
    return CycleEnd::finished;
}

// The family the settings name; the classic one for an index out of the list.
const RouterFamily& settings_family() {
    const auto families = router_families();
    const auto index = static_cast<std::size_t>(settings.router_family.load());
    return index < families.size() ? *families[index] : *families[0];
}

}  // namespace

WorkerEnd collection_worker(std::int32_t /*parameter*/) {
    const MemoryBlock buffer = allocate_block(receive_buffer_bytes);
    if (start_network() == 0) {
        message_box(box_title, "Can't initialize the network", 0);
        return WorkerEnd::program_ends;
    }
    hourly_sent_in = -1;
    do {
        CycleOutcome outcome;
        const RouterFamily& family = settings_family();
        const CycleEnd end = family.user_prompt.empty() ? run_cycle(buffer, outcome)
                                                        : run_family_cycle(family, outcome);
        switch (end) {
            case CycleEnd::stopped:
                return WorkerEnd::stopped;
            case CycleEnd::program_ends:
                return WorkerEnd::program_ends;
            case CycleEnd::finished:
                break;
        }
        if (const CycleObserver observer = cycle_timing.cycle_observer.load()) {
            observer({outcome.collected, outcome.collected ? std::string_view() : outcome.reason,
                      outcome.status_reply, outcome.bins_reply,
                      outcome.has_record ? &outcome.record : nullptr});
        }
        // A negative interval is a very long wait, as the unsigned count it is; a stop ends it.
        if (wait_or_stop(static_cast<std::uint32_t>(settings.interval_ms.load())))
            return WorkerEnd::stopped;
    } while (equals(settings.loop_flag, "true") && !stop_requested());
    return WorkerEnd::stopped;
}
