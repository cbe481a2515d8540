// The status line after a collection.
#include "stats/status_line.h"

#include <mutex>

#include "runtime/text.h"
#include "runtime/ui_calls.h"
#include "settings/settings.h"
#include "stats/line_step.h"
#include "stats/pending_lines.h"

namespace {

std::mutex status_mutex;
std::string shown_collection;  // "Collection: ..." of the latest statistics or line step
std::string shown_pending;     // the pending part that was shown with it

std::string log_status(std::string_view name, LogKind log) {
    const std::int32_t pending = pending_line_count(log);
    const std::int64_t dropped = dropped_line_count(log);
    const std::string lost =
        dropped > 0 ? std::to_string(dropped) + (pending > 0 ? " lost" : " lines lost") : "";
    if (pending > 0) {
        return concat("   ", name, " not written: ", to_decimal(pending), " pending",
                      lost.empty() ? "" : ", ", lost);
    }
    return lost.empty() ? std::string() : concat("   ", name, ": ", lost);
}

void show_locked() {
    const std::string text = concat(shown_collection, shown_pending);
    set_status_text(0, 0, shown_collection.empty() ? trim_left(text) : text);
}

}  // namespace

std::string pending_lines_status() {
    return concat(log_status(settings.stats_log_name, LogKind::statistics),
                  log_status(settings.bins_log_name, LogKind::bins),
                  log_status(line_log_name, LogKind::line),
                  log_status(tones_log_name, LogKind::tones));
}

void show_collection_status(std::string_view time_stamp, std::string_view delta_crc_text) {
    show_collection_summary(concat("Collection: ", time_stamp, "   DeltaCRC: ", delta_crc_text));
}

void show_collection_summary(std::string_view summary) {
    std::lock_guard lock(status_mutex);
    shown_collection = summary;
    shown_pending = pending_lines_status();
    show_locked();
}

void show_cycle_status(std::string_view text) {
    std::lock_guard lock(status_mutex);
    shown_collection = text;
    shown_pending = pending_lines_status();
    show_locked();
}

void refresh_collection_status() {
    std::lock_guard lock(status_mutex);
    std::string pending = pending_lines_status();
    if (pending == shown_pending) return;
    shown_pending = std::move(pending);
    show_locked();
}

void reset_collection_status() {
    std::lock_guard lock(status_mutex);
    shown_collection.clear();
    shown_pending.clear();
}
