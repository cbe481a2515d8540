// The alarm's tone output: the program's default (its sound device, or silence) unless a test has
// put its own in place.
#include "runtime/tone.h"

#include <atomic>

#include "runtime/stop.h"

namespace {

// Silent until a program with a speaker chooses its sound device: a program without one (the
// headless collector) then never links the sound library.
std::atomic<ToneOutput> default_output{&wait_tone_silently};
std::atomic<ToneOutput> tone_output{&wait_tone_silently};

}  // namespace

void play_tone(std::int32_t frequency_hz, std::int32_t duration_ms) {
    if (duration_ms <= 0) return;
    tone_output.load()(frequency_hz, duration_ms);
}

void set_tone_output(ToneOutput output) {
    tone_output = output ? output : default_output.load();
}

void set_default_tone_output(ToneOutput output) {
    default_output = output ? output : &wait_tone_silently;
    tone_output = default_output.load();
}

void wait_tone_silently(std::int32_t, std::int32_t duration_ms) {
    if (duration_ms > 0) (void)wait_or_stop(static_cast<std::uint32_t>(duration_ms));
}
