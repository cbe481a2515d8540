// What the latest cycle told about the line, in the terms a person and Home Assistant use: the
// latest figures (the state message, the event command's environment) and the events that the
// cycle raised (the line went down, it retrained, the router cannot be reached...).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "collector/metrics.h"
#include "runtime/date.h"
#include "stats/line_record.h"

// The latest figures after a cycle, collected or not. A figure the router did not give, or that
// needs a collection before it (the changes of one interval), is nullopt.
struct LineSnapshot {
    std::string family;           // the router family's name: "classic", "broadcom", "draytek"
    std::string address;          // the router's address as the settings give it
    std::int64_t cycle_unix = 0;  // when the latest cycle ended, seconds since 1970 (UTC)
    bool collected = false;       // the latest cycle collected
    std::string reason;           // why not ("unreachable", "closed", "silent", "refused"); ""
    std::int64_t last_collection_unix = 0;  // the latest collection; 0 before the first
    // The same as local time in ISO 8601 with its offset ("2026-12-09T21:04:00+01:00"); "" before
    // the first collection.
    std::string last_collection_time;

    // The router's word for the line's state ("Showtime", "TRAINING"); "" when it gives none
    // (the classic family). showtime is nullopt then.
    std::string state;
    std::optional<bool> showtime;
    std::string mode;     // "VDSL2", "ADSL2+"; "" when none
    std::string profile;  // "17a"; "" when none

    PerDirection<std::optional<double>> rate_kbits, attainable_kbits;   // kbit/s
    PerDirection<std::optional<double>> snr_margin_db, attenuation_db;  // dB
    // The growth of the router's running totals over the latest interval (since the collection
    // before): after a retrain, the new link's total.
    PerDirection<std::optional<std::int64_t>> crc, fec, es, ses;
    std::optional<std::int64_t> total_bits;  // the bits of every tone together

    // The classic family: the changes of its five counters over the latest interval, in the
    // order FEC, CRC, HEC, NCD, OCD (crc.down and fec.down hold the first two as well), and
    // every numeric value of its status reply.
    std::optional<std::array<std::int64_t, 5>> classic_changes;
    std::vector<StatusValue> status_values;
};

enum class LineEvent {
    alarm,           // the CRC change passed the alarm threshold
    line_down,       // the state left showtime
    line_up,         // the state came back to showtime
    retrain,         // a running counter fell
    unreachable,     // the third cycle in a row without a connection
    reachable,       // a connection again after unreachable
    log_unwritable,  // a log line could not be written and waits
    log_written,     // every waiting line has been written
};

// The event's name for people and commands: "alarm", "line-down", "log-unwritable"...
std::string_view event_name(LineEvent event);

struct LineNotice {
    LineEvent event = LineEvent::alarm;
    std::string time;    // local ISO 8601 with its offset, as iso_local_time gives it
    std::string detail;  // one line for a person, without a line end
};

// Follows the cycles one after the other and tells what changed. Used by one thread at a time.
class LineNews {
  public:
    LineNews(std::string family, std::string address);

    // Takes in one cycle, after record_cycle has put it into `figures`. alarm_raised: the
    // cycle's log step said the alarm. Returns the cycle's events in the order they are told.
    // `now` is the local time the cycle ended.
    std::vector<LineNotice> take_cycle(const LineFigures& figures, const CycleReport& report,
                                       std::int64_t now_unix, const WallClock& now,
                                       bool alarm_raised);

    const LineSnapshot& snapshot() const { return snapshot_; }

  private:
    LineSnapshot snapshot_;
    // What the previous collection's running totals were, to tell growth and a fall.
    bool have_previous_ = false;
    LineRecord previous_;
    std::array<std::uint32_t, 5> previous_classic_{};
    int cycles_without_connection_ = 0;
    bool told_unreachable_ = false;
    bool told_unwritable_ = false;
};

// The environment an event command gets, "NAME=value" each: KELVASTATS_EVENT, KELVASTATS_TIME
// (local time, ISO 8601 with its offset), KELVASTATS_DETAIL, KELVASTATS_ROUTER, and the main
// figures (KELVASTATS_STATE, KELVASTATS_RATE_DOWN/UP, KELVASTATS_SNR_MARGIN_DOWN/UP,
// KELVASTATS_CRC_DOWN/UP ...) where the snapshot has them. No password is ever among them.
std::vector<std::string> event_environment(const LineNotice& notice, const LineSnapshot& snapshot);

// A wall-clock reading as ISO 8601 with its offset: "2026-12-09T21:04:00+01:00".
std::string iso_local_time(const WallClock& clock);
