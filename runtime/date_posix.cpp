// The local clock read with localtime_r, its UTC offset from tm_gmtoff.
#include <ctime>

#include "runtime/local_clock.h"

WallClock read_local_clock() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return WallClock{};
    return WallClock{local.tm_year + 1900,
                     local.tm_mon + 1,
                     local.tm_mday,
                     local.tm_hour,
                     local.tm_min,
                     local.tm_sec,
                     static_cast<int>(local.tm_gmtoff / 60)};
}
