// Alarm tones with Beep. Beep cannot be interrupted and returns at once where there is no sound
// device or the frequency is out of its range, so whatever is left of the duration is waited
// after it, and that wait ends on a stop request.
#include <windows.h>

#include <chrono>

#include "runtime/stop.h"
#include "runtime/tone_device.h"

void play_through_device(std::int32_t frequency_hz, std::int32_t duration_ms) {
    using Clock = std::chrono::steady_clock;
    const auto tone_end = Clock::now() + std::chrono::milliseconds(duration_ms);
    if (stop_requested()) return;
    (void)Beep(static_cast<DWORD>(frequency_hz), static_cast<DWORD>(duration_ms));
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(tone_end - Clock::now()).count();
    if (left > 0) (void)wait_or_stop(static_cast<std::uint32_t>(left));
}

// Beep is always there: without a sound device it returns at once and the wait keeps the time.
bool sound_device_present() {
    return true;
}
