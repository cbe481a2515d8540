// The event loop of the main thread. Each change of a field updates its setting at once.
#include "app/event_loop.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "app/main_window.h"
#include "app/run_quit.h"
#include "runtime/text.h"
#include "settings/settings.h"
#include "window/gadgets.h"

namespace {

constexpr std::int64_t ms_per_minute = 60000;

// An interval whose milliseconds do not fit the 32-bit setting is held at the nearest end.
std::int32_t minutes_to_ms(std::int32_t minutes) {
    const std::int64_t ms = minutes * ms_per_minute;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        ms, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void event_loop() {
    for (;;) {
        const int code = wait_window_event();
        settings.last_event = code;
        if (code == close_window_event) return;
        if (code == session_end_event) {
            quit_action();
            return;
        }
        if (code != gadget_event) continue;

        const int gadget = event_gadget();
        const bool changed = event_type() == content_changed;
        if (gadget == run_gadget) {
            run_action();
        } else if (gadget == quit_gadget) {
            quit_action();
            return;
        } else if (gadget == password_gadget && changed) {
            settings.password = gadget_text(password_gadget);
        } else if (gadget == interval_gadget && changed) {
            settings.interval_ms = minutes_to_ms(to_number(gadget_text(interval_gadget)));
        } else if (gadget == alarm_gadget && changed) {
            settings.alarm_threshold = to_number(gadget_text(alarm_gadget));
        } else if (gadget == address_gadget && changed) {
            settings.router_address = gadget_text(address_gadget);
        } else if (gadget == port_gadget && changed) {
            settings.port = to_number(gadget_text(port_gadget));
        }
    }
}
