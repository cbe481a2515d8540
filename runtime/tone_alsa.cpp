// Alarm tones through ALSA's default device, with a silent wait where there is no device.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <numbers>
#include <vector>

#include "runtime/stop.h"
#include "runtime/tone_device.h"

namespace {

constexpr unsigned sample_rate_hz = 44100;
// Samples are handed over in 10 ms periods, so a stop request is seen within about that long.
constexpr std::int64_t period_frames = sample_rate_hz / 100;
constexpr unsigned device_latency_us = 50000;
constexpr int device_wait_ms = 10;
// How long past the tone's end a stalling device may hold the caller.
constexpr auto stall_allowance = std::chrono::milliseconds(100);
constexpr double tone_amplitude = 0.4 * 32767;

using Clock = std::chrono::steady_clock;

// ALSA prints its complaints to standard error; a missing sound card is normal here.
void ignore_alsa_error(const char*, int, const char*, int, const char*, ...) {}

class PcmDevice {
  public:
    explicit PcmDevice(snd_pcm_t* pcm) : pcm_(pcm) {}
    ~PcmDevice() {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
    }
    PcmDevice(const PcmDevice&) = delete;
    PcmDevice& operator=(const PcmDevice&) = delete;
    snd_pcm_t* get() const { return pcm_; }

  private:
    snd_pcm_t* pcm_;
};

// Waits until `until`, or less on a stop request.
void wait_until(Clock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left > 0) (void)wait_or_stop(static_cast<std::uint32_t>(left));
}

void fill_period(std::vector<std::int16_t>& samples, std::int64_t first_frame, std::int64_t frames,
                 std::int32_t frequency_hz) {
    samples.resize(static_cast<std::size_t>(frames));
    const double step = 2 * std::numbers::pi * frequency_hz / sample_rate_hz;
    for (std::int64_t i = 0; i < frames; ++i) {
        // The phase is taken modulo one cycle of the frame count so it stays precise in long tones.
        const auto frame = (first_frame + i) % sample_rate_hz;
        samples[static_cast<std::size_t>(i)] =
            static_cast<std::int16_t>(tone_amplitude * std::sin(step * frame));
    }
}

std::once_flag alsa_silenced;  // ALSA's own error printing is turned off once

// Plays the tone; false when no device could be opened (nothing has been waited then).
bool play_on_alsa(std::int32_t frequency_hz, std::int32_t duration_ms) {
    std::call_once(alsa_silenced, [] { snd_lib_error_set_handler(&ignore_alsa_error); });

    const auto tone_end = Clock::now() + std::chrono::milliseconds(duration_ms);
    const auto give_up = tone_end + stall_allowance;
    snd_pcm_t* raw = nullptr;
    // Non-blocking, so a busy or stalled device can never hold the caller.
    if (snd_pcm_open(&raw, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
    const PcmDevice device(raw);
    snd_pcm_t* const pcm = device.get();
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                           sample_rate_hz, 1, device_latency_us) < 0) {
        return false;
    }

    const std::int64_t total_frames = std::int64_t{sample_rate_hz} * duration_ms / 1000;
    std::vector<std::int16_t> samples;
    std::int64_t written = 0;
    while (written < total_frames) {
        if (stop_requested() || Clock::now() >= give_up) return true;
        const std::int64_t frames = std::min(period_frames, total_frames - written);
        fill_period(samples, written, frames, frequency_hz);
        snd_pcm_sframes_t result =
            snd_pcm_writei(pcm, samples.data(), static_cast<snd_pcm_uframes_t>(frames));
        if (result == -EAGAIN) {
            snd_pcm_wait(pcm, device_wait_ms);
            continue;
        }
        if (result < 0) result = snd_pcm_recover(pcm, static_cast<int>(result), 1);
        if (result < 0) {
            // The device gave out: keep the caller's timing without it.
            wait_until(tone_end);
            return true;
        }
        written += result;
    }
    // A tone shorter than the device's buffer has not reached its start threshold yet.
    if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm);
    snd_pcm_sframes_t pending = 0;
    while (snd_pcm_delay(pcm, &pending) == 0 && pending > 0 && Clock::now() < give_up) {
        const auto pending_ms = std::max<std::int64_t>(1, pending * 1000 / sample_rate_hz);
        if (wait_or_stop(
                static_cast<std::uint32_t>(std::min<std::int64_t>(pending_ms, device_wait_ms))))
            break;
    }
    return true;
}

}  // namespace

void play_through_device(std::int32_t frequency_hz, std::int32_t duration_ms) {
    if (!play_on_alsa(frequency_hz, duration_ms)) wait_tone_silently(frequency_hz, duration_ms);
}

bool sound_device_present() {
    std::call_once(alsa_silenced, [] { snd_lib_error_set_handler(&ignore_alsa_error); });
    snd_pcm_t* raw = nullptr;
    if (snd_pcm_open(&raw, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
    snd_pcm_close(raw);
    return true;
}
