// The tone for a build without a sound device (a box with no speaker): the tone's time passes in
// silence, so the alarm's callers keep the same timing as with sound.
#include "runtime/tone.h"
#include "runtime/tone_device.h"

void play_through_device(std::int32_t frequency_hz, std::int32_t duration_ms) {
    wait_tone_silently(frequency_hz, duration_ms);
}

bool sound_device_present() {
    return false;
}
