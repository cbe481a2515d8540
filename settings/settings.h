// The one settings record shared by the main thread (the window's fields, Run, Quit) and the
// worker (the collection cycle, the dialog, the two log steps). Integer fields are atomic words;
// the two texts the main thread replaces while the worker reads them are guarded so a reader
// always gets a whole old or a whole new value. Nothing is saved between runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "runtime/handles.h"

// A text that one thread replaces while another reads it.
class GuardedText {
  public:
    GuardedText& operator=(std::string_view text);
    std::string get() const;
    operator std::string() const { return get(); }

  private:
    mutable std::mutex mutex_;
    std::string text_;
};

using Int32 = std::atomic<std::int32_t>;

struct Settings {
    // Written by the worker, read by the two log steps: the last chunk read from the router.
    std::string received_text;
    std::atomic<Connection*> connection{nullptr};
    Int32 alarm_threshold{0};
    std::string loop_flag;
    Int32 last_event{0};
    // Each error counter's value at the previous statistics step, and its latest change.
    Int32 prev_fec{0}, prev_crc{0}, prev_hec{0}, prev_ncd{0}, prev_ocd{0};
    Int32 delta_fec{0}, delta_crc{0}, delta_hec{0}, delta_ncd{0}, delta_ocd{0};
    std::string stats_log_name;
    std::string bins_log_name;
    std::atomic<ThreadRecord*> worker_thread{nullptr};
    GuardedText password;
    Int32 port{0};
    Int32 dialog_finished{0};
    GuardedText router_address;
    Int32 worker_parameter{0};
    Int32 dialog_state{0};
    Int32 interval_ms{0};
    Int32 first_collection{0};
    Int32 worker_started{0};
    std::string user_name;
    // The router family the worker speaks to, by its place in the collector's list of families;
    // 0, the default, is the classic family of the window program.
    Int32 router_family{0};
};

extern Settings settings;

// Empties every field (texts "", numbers 0, handles null).
void zero_settings();

// zero_settings, then the defaults the program starts with: logs "kelvastats.csv" and
// "kelvabins.csv", loop flag "true", user "DSL", first collection 1, interval 60000 ms,
// router 192.168.1.1 port 23, alarm threshold 0, empty password.
void reset_settings_to_defaults();
