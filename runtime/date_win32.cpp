// The local clock read with GetLocalTime, which gives the wall-clock fields directly: no time_t,
// whose width would otherwise decide the last year the program can stamp.
#include <windows.h>

#include "runtime/local_clock.h"

WallClock read_local_clock() {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    return WallClock{local.wYear, local.wMonth,  local.wDay,
                     local.wHour, local.wMinute, local.wSecond};
}
