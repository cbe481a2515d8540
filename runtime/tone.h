// Tone output for the alarm: a sine tone of a frequency and duration, returning when it has ended.
#pragma once

#include <cstdint>

// Plays the tone through the program's tone output: the sound device once the program has chosen
// it (runtime/tone_device.h), else a silent wait of the duration, so a caller's timing is the same
// with or without sound. Ends early on a stop request for the calling thread.
void play_tone(std::int32_t frequency_hz, std::int32_t duration_ms);

using ToneOutput = void (*)(std::int32_t frequency_hz, std::int32_t duration_ms);
// Replaces the output (tests record the tones); null restores the program's default output.
void set_tone_output(ToneOutput output);
// Makes output the default that play_tone uses and that a null set_tone_output restores.
void set_default_tone_output(ToneOutput output);

// The silent fallback: waits duration_ms (or until a stop request).
void wait_tone_silently(std::int32_t frequency_hz, std::int32_t duration_ms);
