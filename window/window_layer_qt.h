// What the two halves of the Qt window layer share: the gadgets (gadgets_qt.cpp) and the calls
// from the worker (worker_calls_qt.cpp). Only those two files include it.
#pragma once

#include <QString>
#include <string_view>

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
