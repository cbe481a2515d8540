// The main window: window 0 with status bar 0 and the gadgets the event loop acts on.
#pragma once

inline constexpr int main_window = 0;
inline constexpr int main_status_bar = 0;

inline constexpr int run_gadget = 0;
inline constexpr int quit_gadget = 1;
inline constexpr int address_gadget = 2;
inline constexpr int password_gadget = 5;
inline constexpr int interval_gadget = 6;  // minutes
inline constexpr int alarm_gadget = 10;    // CRC errors per interval
inline constexpr int port_gadget = 11;

// Opens the window and creates its status bar and gadgets (creation order is the Tab order).
// Returns 0, having created nothing, when the window cannot be opened.
int build_main_window();
