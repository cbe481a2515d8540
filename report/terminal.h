// The console the report runs in: whether standard error is a terminal (the progress display shows
// only there), and whether the program was started by a double click rather than from a console.
#pragma once

#include <string>

bool stderr_is_terminal();

// The program's own folder when it was started by a double click (on Windows, from Explorer: it
// is then the only process on its console), where it reads the logs beside it; else empty.
std::string double_click_folder();

// A message a person who double-clicked the program can read before its console closes: a box on
// Windows; nothing elsewhere, where the message on standard error is enough.
void show_message_box(const std::string& message);
