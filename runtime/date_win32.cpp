// The local clock read with localtime_s, the thread-safe form of the C library's localtime.
#include <ctime>

#include "runtime/local_clock.h"

WallClock read_local_clock() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_s(&local, &now) != 0) return WallClock{};
    return WallClock{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
}
