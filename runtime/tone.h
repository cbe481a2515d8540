// Tone output for the alarm: a sine tone of a frequency and duration, returning when it has ended.
#pragma once

#include <cstdint>

// Plays the tone through the default sound device; where there is none it waits the duration
// silently, so a caller's timing is the same with or without sound. Ends early on a stop request
// for the calling thread.
void play_tone(std::int32_t frequency_hz, std::int32_t duration_ms);

// Whether a sound device can be opened for the tone now (a test of the real device skips without).
bool sound_device_present();

// Replaces the output (tests record the tones); null restores the sound device.
using ToneOutput = void (*)(std::int32_t frequency_hz, std::int32_t duration_ms);
void set_tone_output(ToneOutput output);

// The silent fallback: waits duration_ms (or until a stop request).
void wait_tone_silently(std::int32_t frequency_hz, std::int32_t duration_ms);
