// The window and gadget layer: one top-level window with a status bar and small controls
// (gadgets) named by caller-chosen integer ids, a blocking event wait, and the modal message box.
// Windows, gadgets and the event wait belong to the main thread (the one that started the layer);
// only set_status_text and message_box (runtime/ui_calls.h) may be called from other threads.
// Operations on an id that names nothing do nothing and return 0 ("" for gadget_text).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A top-level window of the platform's window system, opaque here: each platform's layer hands
// out its own native window under this type (window/window_handle_qt.h, _win32.h).
struct NativeWindow;
using WindowHandle = NativeWindow*;

// Event codes returned by wait_window_event.
inline constexpr int gadget_event =
    13100;  // a gadget reported something; see event_gadget/event_type
inline constexpr int close_window_event = 16;  // the close box (or Alt+F4); the window stays open
inline constexpr int window_moved_event = 3;
inline constexpr int window_sized_event = 5;
inline constexpr int window_activated_event = 13104;
// The desktop session is ending (a logout): the program ends as Quit ends it.
inline constexpr int session_end_event = 13105;

// Event types of a gadget event.
inline constexpr int button_clicked = 0;  // a push button was clicked
inline constexpr int content_changed =
    768;  // an edit or address field's text changed (once per edit)

// Window styles that open_window understands (Win32 style bits).
inline constexpr std::uint32_t ws_caption = 0x00C00000;
inline constexpr std::uint32_t ws_sysmenu = 0x00080000;     // system menu with close box
inline constexpr std::uint32_t ws_thickframe = 0x00040000;  // the user may resize the window
inline constexpr std::uint32_t ws_minimizebox = 0x00020000;
inline constexpr std::uint32_t ws_maximizebox = 0x00010000;
inline constexpr std::uint32_t ws_visible = 0x10000000;  // asks for a window that starts hidden

// Edit-field flags of string_gadget.
inline constexpr std::uint32_t es_password = 32;  // typed characters show as mask characters
// Only the digits 0 to 9 can be typed; a paste is refused unless all digits on Qt, taken whole on
// Win32.
inline constexpr std::uint32_t es_number = 8192;

// The program entry's first call: brings up the window system for the rest of the process (on
// Qt the application object, which takes the command line). Returns "" when it is up, else why
// not in a few words ("DISPLAY is not set"). Should the window system fail in a way no check
// foresaw, the process ends at once with status 1 after one line on standard error.
std::string start_window_system(int& argc, char** argv);

// Starts the layer on the main thread, once the window system is up. Installs the real
// set_status_text and message_box. Returns 1, or 0 when the window system is not up or the caller
// is not on its main thread.
int start_window_layer();

// Destroys every window (status bars and gadgets go with them), forgets queued events, ends every
// wait of another thread for the main thread and puts back the fallback status text and message
// box. Called on another thread it only does the last two: widgets belong to the main thread and
// go with the process.
void release_window_layer();

// Creates and shows (unless flags hold ws_visible) a top-level window whose client area is
// width x height with its frame's top-left corner at x, y. Flags are Win32 style bits; of those
// only the ones above have an effect, and with none of them set the window gets a caption.
// Non-zero on success.
int open_window(int id, int x, int y, int width, int height, std::string_view title,
                std::uint32_t flags);

WindowHandle window_handle(int id);

// Makes window the parent of the gadgets created next. Returns window (null for null).
WindowHandle create_gadget_list(WindowHandle window);

// A status bar of one field along the bottom of window, following its size. Non-zero on success.
int create_status_bar(int id, WindowHandle window);

// Gadgets at x, y (client coordinates of the current gadget list's window), width x height.
// Creating one under an id in use first destroys the old one. Non-zero on success.
int button_gadget(int id, int x, int y, int width, int height, std::string_view text);
int text_gadget(int id, int x, int y, int width, int height, std::string_view text);
int string_gadget(int id, int x, int y, int width, int height, std::string_view text,
                  std::uint32_t flags);
// An IPv4 address field of four boxes (0..255), initially blank.
int ip_address_gadget(int id, int x, int y, int width, int height);

// Shows text when the pointer rests on the gadget; a second call replaces the text.
void set_gadget_tooltip(int id, std::string_view text);

// state non-zero hides the gadget (it can no longer be clicked or reached with Tab); 0 shows it.
void hide_gadget(int id, int state);

// The gadget's current text; a password field gives its real content. An address field gives its
// dotted form, a blank box reading 0 ("0.0.0.0" when all are blank).
std::string gadget_text(int id);

// Blocks until the next event of the window layer and returns its code. Gadget events are
// reported one by one in the order they happened.
int wait_window_event();

// The gadget of the last gadget event.
int event_gadget();

// The type of the last event when it was a gadget event; -1 after any other event.
int event_type();
