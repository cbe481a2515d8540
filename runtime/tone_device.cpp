// Choosing the platform's sound device for the alarm's tones.
#include "runtime/tone_device.h"

void use_sound_device() {
    set_default_tone_output(&play_through_device);
}
