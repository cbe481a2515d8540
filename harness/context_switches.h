// How often a thread of this process has been switched out, from /proc: a thread that waits
// quietly adds none, one woken by a timer adds one a wake-up.
#pragma once

#include <sys/types.h>

#include <fstream>
#include <string>

// Voluntary and involuntary switches of thread `tid` since it started; 0 when it is gone.
inline long context_switches(pid_t tid) {
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
