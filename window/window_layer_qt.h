// What the parts of the Qt window layer share: the gadgets (gadgets_qt.cpp), the calls from the
// worker (worker_calls_qt.cpp) and the end of the session (session_end_qt.cpp). Only they include
// it.
#pragma once

#include <QString>
#include <string_view>

class QObject;
class QWidget;

bool on_main_thread();

// The text up to its first zero byte, as a QString.
QString qtext(std::string_view text);

// Main thread: sets field `field` of status bar `bar`; nothing for a bar or field that does not
// exist.
void set_status_bar_field(int bar, int field, const QString& text);

// Starts the calls from the worker: installs the real set_status_text and message_box. 0 when the
// wake-up that rings the main thread cannot be made; then nothing is installed.
int start_worker_calls();

// Puts back the fallback calls. On the main thread also takes down the boxes shown for the worker,
// ends every wait of another thread for the main thread and drops the calls not yet run.
void release_worker_calls();

// Main thread: closes the box that message_box shows for a call on the main thread, as its OK
// would, so that the call returns. Nothing when none is up.
void dismiss_main_thread_box();

// Main thread: from now on the end of the desktop session (SIGTERM, SIGHUP, SIGINT) calls on_end
// on the main thread, as long as context lives. 0 when the wake-up it needs cannot be made.
int watch_session_end(QObject* context, void (*on_end)());
