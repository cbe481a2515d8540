// The platform's own tone output, behind play_tone: one twin per platform.
#pragma once

#include "runtime/tone.h"

// Plays the tone on the sound device and returns when it has ended; where no tone can be played
// the rest of the duration is waited silently. Ends early on a stop request.
void play_through_device(std::int32_t frequency_hz, std::int32_t duration_ms);
