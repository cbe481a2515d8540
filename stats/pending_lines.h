// Appending a line to a log without ever losing it: a line that cannot reach its log (the log
// cannot be opened, or a write fails half way) is kept in memory and written, oldest first,
// before the next line of that log that can be written.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The logs, in the order the status line names them: the classic family's statistics and bins
// logs, then the line and tones logs of the families that fill a line record.
enum class LogKind { statistics, bins, line, tones };

// Every log kind, for a caller that counts per log (a kind's place here is its value).
inline constexpr std::array<LogKind, 4> log_kinds = {LogKind::statistics, LogKind::bins,
                                                     LogKind::line, LogKind::tones};
static_assert(static_cast<std::size_t>(LogKind::tones) + 1 == log_kinds.size());

// At most this many lines wait per log; past it the oldest are dropped (and counted), so a log
// that stays unwritable for weeks costs a bounded amount of memory (about a week of one-minute
// collections).
inline constexpr std::size_t max_pending_lines = 10000;

// How a log step found its log.
enum class LogOpen {
    appending,    // a non-empty log, opened as file number 0 and positioned at its end
    created,      // the log was missing or empty and has been created empty as file number 0
    not_opened,   // a non-empty log exists but could not be opened: nothing is open
    not_created,  // the log was missing or empty and could not be created: nothing is open
};

struct OpenedLog {
    LogOpen state = LogOpen::not_opened;
    std::int64_t size_before = 0;  // the log's size in bytes before this step wrote anything
};

// Opens the log `name` as file number 0 ready for appending.
OpenedLog open_log(std::string_view name);

// Ends a log step begun with open_log: writes `header` (when the log was created), the lines
// still pending for `log`, then `line`, and closes file number 0. Header and lines are complete
// texts, CR LF included; a `line` may hold several lines that must reach the log together, and
// then waits and counts as one. When the log is not open, or a write did not reach the disk in
// full (the log is then cut back to size_before, so no part of a line stays), `line` joins the
// pending lines. The header and name are remembered for retry_pending_log_lines.
void append_log_line(LogKind log, std::string_view name, const OpenedLog& opened,
                     std::string_view header, std::string line);

// Lines of `log` waiting to be written, and lines dropped because too many were waiting.
std::int32_t pending_line_count(LogKind log);
std::int64_t dropped_line_count(LogKind log);

// One more attempt to write every pending line (Program end). A missing or empty log is created
// with the header of its latest step; no message is shown. Returns the lines still pending.
// Must not run while a log step runs on another thread.
std::int32_t retry_pending_log_lines();

// Forgets every pending line and count (tests).
void reset_pending_log_lines();
