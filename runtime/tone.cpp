// The alarm's tone output: the platform's sound device unless a test has put its own in place.
#include "runtime/tone.h"

#include <atomic>

#include "runtime/stop.h"
#include "runtime/tone_device.h"

namespace {

std::atomic<ToneOutput> tone_output{&play_through_device};

}  // namespace

void play_tone(std::int32_t frequency_hz, std::int32_t duration_ms) {
    if (duration_ms <= 0) return;
    tone_output.load()(frequency_hz, duration_ms);
}

void set_tone_output(ToneOutput output) {
    tone_output = output ? output : &play_through_device;
}

void wait_tone_silently(std::int32_t, std::int32_t duration_ms) {
    if (duration_ms > 0) (void)wait_or_stop(static_cast<std::uint32_t>(duration_ms));
}
