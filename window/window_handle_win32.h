// The Win32 layer's windows behind the opaque WindowHandle of window/gadgets.h, and what its
// files share. Main thread only.
#pragma once

#include <windows.h>

#include "window/gadgets.h"

inline HWND hwnd_of(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}
inline WindowHandle handle_of(HWND window) {
    return reinterpret_cast<WindowHandle>(window);
}

// The status bar control under id; null when there is none.
HWND status_bar_window(int id);

// The window a message box of this moment is owned by: the layer's window that is the active
// (foreground) window, null when none of them is.
HWND box_owner();

// What the layer runs on the main thread when the desktop session ends (logoff, shut-down, an
// installer's restart). Windows may end the process as soon as that message is answered, so the
// program ends itself inside it, as Quit does; the action does not return. Null (the default):
// the session's end goes unnoticed. Kept across release_window_layer.
using SessionEndAction = void (*)();
void set_session_end_action(SessionEndAction action);

// The calls from other threads (window/worker_calls_win32.cpp): started and released with the
// layer, on the main thread. start_worker_calls returns false when its window cannot be made.
bool start_worker_calls();
void release_worker_calls();
