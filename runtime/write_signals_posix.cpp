// SIGPIPE and SIGXFSZ ignored, so failed writes come back as errors.
#include <csignal>

#include "runtime/write_signals.h"

void ignore_write_signals() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}
