// Dispatch of the status text and the message box to whatever the window layer installed.
#include "runtime/ui_calls.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace {

void status_text_nowhere(int, int, std::string_view) {}

int message_box_on_stderr(std::string_view title, std::string_view text, int) {
    std::fprintf(stderr, "%s: %s\n", std::string(title).c_str(), std::string(text).c_str());
    return 1;
}

std::atomic<decltype(UiCalls::set_status_text)> status_handler{&status_text_nowhere};
std::atomic<decltype(UiCalls::message_box)> box_handler{&message_box_on_stderr};

}  // namespace

void set_status_text(int bar, int field, std::string_view text) {
    status_handler.load()(bar, field, text);
}

int message_box(std::string_view title, std::string_view text, int flags) {
    return box_handler.load()(title, text, flags);
}

void install_ui_calls(const UiCalls& calls) {
    status_handler = calls.set_status_text ? calls.set_status_text : &status_text_nowhere;
    box_handler = calls.message_box ? calls.message_box : &message_box_on_stderr;
}
