// Quiet stand-ins for the window's calls and the tone output.
#include "harness/quiet_calls.h"

#include <cstdint>
#include <string_view>

#include "runtime/tone.h"
#include "runtime/ui_calls.h"

namespace {

void no_status(int, int, std::string_view) {}
int no_box(std::string_view, std::string_view, int) {
    return 1;
}
void no_tone(std::int32_t, std::int32_t) {}

}  // namespace

void install_quiet_calls() {
    install_ui_calls(UiCalls{&no_status, &no_box});
    set_tone_output(&no_tone);
}

void remove_quiet_calls() {
    install_ui_calls(UiCalls{});
    set_tone_output(nullptr);
}
