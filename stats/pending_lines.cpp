// The lines that could not reach their logs yet, and the append that writes them first.
#include "stats/pending_lines.h"

#include <array>
#include <deque>
#include <mutex>

#include "runtime/file_layer.h"

namespace {

constexpr int log_file_number = 0;

struct PendingLog {
    std::deque<std::string> lines;
    std::int64_t dropped = 0;
    std::string name;    // the log the lines belong to
    std::string header;  // what a new log starts with, from the latest step
};

std::mutex pending_mutex;
std::array<PendingLog, log_kinds.size()> pending_logs;

PendingLog& pending_of(LogKind log) {
    return pending_logs[static_cast<std::size_t>(log)];
}

void keep_pending(PendingLog& pending, std::string line) {
    pending.lines.push_back(std::move(line));
    while (pending.lines.size() > max_pending_lines) {
        pending.lines.pop_front();
        ++pending.dropped;
    }
}

// Writes header (for a created log), the pending lines and then line (if any) to the open file
// number 0 and closes it. On a failed write the log is cut back and everything stays pending.
void write_pending_then(PendingLog& pending, const OpenedLog& opened, std::string_view header,
                        std::string line) {
    if (opened.state == LogOpen::created) write_string(log_file_number, header);
    for (const auto& waiting : pending.lines) write_string(log_file_number, waiting);
    write_string(log_file_number, line);
    if (flush_file(log_file_number) != 0) {
        close_file(log_file_number);
        pending.lines.clear();
        return;
    }
    // Cut back the file this step opened, never whatever the name names now: what was in the log
    // before this step stays as it was.
    truncate_open_file(log_file_number, opened.size_before);
    close_file(log_file_number);
    if (!line.empty()) keep_pending(pending, std::move(line));
}

}  // namespace

OpenedLog open_log(std::string_view name) {
    if (file_size(name) > 0) {
        if (open_file(log_file_number, name) == 0) return {LogOpen::not_opened, 0};
        // The size of the file just opened, not of the name, which may name another file by now.
        const std::int64_t size = open_file_size(log_file_number);
        const auto end_low_bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(size));
        if (size < 0 || file_seek(log_file_number, size) != end_low_bits) {
            // Not at the end, a write would overwrite earlier lines: the line waits instead.
            close_file(log_file_number);
            return {LogOpen::not_opened, 0};
        }
        return {LogOpen::appending, size};
    }
    if (create_file(log_file_number, name) == 0) return {LogOpen::not_created, 0};
    return {LogOpen::created, 0};
}

void append_log_line(LogKind log, std::string_view name, const OpenedLog& opened,
                     std::string_view header, std::string line) {
    std::lock_guard lock(pending_mutex);
    PendingLog& pending = pending_of(log);
    pending.name.assign(name);
    pending.header.assign(header);
    if (opened.state == LogOpen::appending || opened.state == LogOpen::created) {
        write_pending_then(pending, opened, header, std::move(line));
    } else {
        keep_pending(pending, std::move(line));
    }
}

std::int32_t pending_line_count(LogKind log) {
    std::lock_guard lock(pending_mutex);
    return static_cast<std::int32_t>(pending_of(log).lines.size());
}

std::int64_t dropped_line_count(LogKind log) {
    std::lock_guard lock(pending_mutex);
    return pending_of(log).dropped;
}

std::int32_t retry_pending_log_lines() {
    std::lock_guard lock(pending_mutex);
    std::size_t still_pending = 0;
    for (auto& pending : pending_logs) {
        if (!pending.lines.empty()) {
            const OpenedLog opened = open_log(pending.name);
            if (opened.state == LogOpen::appending || opened.state == LogOpen::created) {
                write_pending_then(pending, opened, pending.header, std::string());
            }
        }
        still_pending += pending.lines.size();
    }
    return static_cast<std::int32_t>(still_pending);
}

void reset_pending_log_lines() {
    std::lock_guard lock(pending_mutex);
    pending_logs = {};
}
