// The two calls by which the worker reaches the window: the status bar text and the modal message
// box. The window layer installs the real ones when it starts; without it (tests, the fuzzers)
// the status text goes nowhere and a message box is written to standard error and counts as OK.
#pragma once

#include <string_view>

// Sets field `field` of status bar `bar`. Safe from any thread; returns once the text is set.
void set_status_text(int bar, int field, std::string_view text);

// Shows a modal box with one OK button (flags 0) and waits until it is dismissed. Safe from any
// thread. Returns the button pressed (1 = OK).
int message_box(std::string_view title, std::string_view text, int flags);

struct UiCalls {
    void (*set_status_text)(int bar, int field, std::string_view text) = nullptr;
    int (*message_box)(std::string_view title, std::string_view text, int flags) = nullptr;
};

// Installs the handlers; a null member keeps the built-in fallback for that call.
void install_ui_calls(const UiCalls& calls);
