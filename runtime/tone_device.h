// The platform's own tone output: one twin per platform (ALSA, Beep, or silence for a build
// without a sound device), in a library of its own that only a program with a speaker links.
#pragma once

#include "runtime/tone.h"

// Makes the sound device play_tone's default output. The window program calls it at start-up.
void use_sound_device();

// Plays the tone on the sound device and returns when it has ended; where no tone can be played
// the rest of the duration is waited silently. Ends early on a stop request.
void play_through_device(std::int32_t frequency_hz, std::int32_t duration_ms);

// Whether a sound device can be opened for the tone now (a test of the real device skips without).
bool sound_device_present();
