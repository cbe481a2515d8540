// The alarm's tone sequence.
#include "stats/alarm.h"

#include <atomic>
#include <cstdint>

#include "runtime/stop.h"
#include "runtime/tone.h"

namespace {

constexpr std::int32_t alarm_tone_ms = 300;
constexpr std::int32_t alarm_frequencies_hz[] = {1000, 900, 1000, 900};

std::atomic<AlarmOutput> alarm_output{nullptr};

}  // namespace

void set_alarm_output(AlarmOutput output) {
    alarm_output = output;
}

void sound_alarm() {
    if (const AlarmOutput output = alarm_output.load()) {
        output();
        return;
    }
    for (const std::int32_t frequency_hz : alarm_frequencies_hz) {
        if (stop_requested()) return;
        play_tone(frequency_hz, alarm_tone_ms);
    }
}
