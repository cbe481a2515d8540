// Thread numbers and their context switches on Linux, from /proc.
#include <unistd.h>

#include <fstream>
#include <string>

#include "harness/thread_switches.h"

ThreadNumber current_thread_number() {
    return gettid();
}

long context_switches(ThreadNumber thread) {
    std::ifstream status("/proc/self/task/" + std::to_string(thread) + "/status");
    long total = 0;
    std::string line;
    while (std::getline(status, line)) {
        const auto colon = line.find(':');
        if (colon != std::string::npos && line.substr(0, colon).ends_with("ctxt_switches"))
            total += std::stol(line.substr(colon + 1));
    }
    return total;
}
