// Whether standard error is a terminal, on Windows.
#include <io.h>

#include <cstdio>

#include "report/terminal.h"

bool stderr_is_terminal() {
    return _isatty(_fileno(stderr)) != 0;
}
