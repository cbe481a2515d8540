// Whether standard error is a terminal, on POSIX systems.
#include <unistd.h>

#include "report/terminal.h"

bool stderr_is_terminal() {
    return isatty(STDERR_FILENO) == 1;
}
