// A thread's context switches, read from /proc/self/task/<tid>/status.
#include "tests/support/context_switches.h"

#include <fstream>
#include <string>

long context_switches(pid_t tid) {
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    long total = 0;
    std::string line;
    while (std::getline(status, line)) {
        const auto colon = line.find(':');
        if (colon != std::string::npos && line.substr(0, colon).ends_with("ctxt_switches"))
            total += std::stol(line.substr(colon + 1));
    }
    return total;
}
