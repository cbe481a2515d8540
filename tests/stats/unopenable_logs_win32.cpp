// UnopenableLogs on Windows: each log that exists is held open with no sharing at all.
#include <windows.h>

#include "unopenable_logs.h"

namespace {

const char* const logs[2] = {"kelvastats.csv", "kelvabins.csv"};

}  // namespace

UnopenableLogs::UnopenableLogs() {
    for (const char* log : logs) {
        const HANDLE handle = CreateFileA(log, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            taken_.push_back(reinterpret_cast<std::intptr_t>(handle));
    }
}

UnopenableLogs::~UnopenableLogs() {
    for (const std::intptr_t handle : taken_) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

bool UnopenableLogs::active() const {
    if (taken_.empty()) return false;
    for (const char* log : logs) {
        const HANDLE handle = CreateFileA(log, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            return false;
        }
    }
    return true;
}
