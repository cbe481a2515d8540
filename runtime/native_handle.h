// A wait handle of the operating system passed through portable code, which never looks inside:
// a descriptor that poll() watches on POSIX, an event HANDLE on Windows.
#pragma once

#include <cstdint>

struct NativeWaitHandle {
    std::intptr_t value = -1;  // -1: none (also INVALID_HANDLE_VALUE)

    bool present() const { return value != -1; }
};
