// The report's console on Linux: a program is always started from a shell or a launcher there.
#include <unistd.h>

#include "report/terminal.h"

bool stderr_is_terminal() {
    return isatty(STDERR_FILENO) != 0;
}

std::string double_click_folder() {
    return {};
}

void show_message_box(const std::string&) {}
