// Unwritable logs on Windows: the read-only attribute, and a handle that shares the file for
// reading only, as a spreadsheet keeps a file it has open.
#include <windows.h>

#include "unwritable_logs.h"

namespace {

const char* const logs[2] = {"kelvastats.csv", "kelvabins.csv"};

void make_read_only(bool on) {
    for (const char* log : logs) {
        SetFileAttributesA(log, on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
    }
}

}  // namespace

ReadOnlyLogs::ReadOnlyLogs() {
    make_read_only(true);
}

ReadOnlyLogs::~ReadOnlyLogs() {
    make_read_only(false);
}

bool ReadOnlyLogs::active() const {
    for (const char* log : logs) {
        const HANDLE handle = CreateFileA(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            return false;
        }
    }
    return true;
}

LogsHeldForReading::LogsHeldForReading() {
    for (int k = 0; k < 2; ++k) {
        const HANDLE handle = CreateFileA(logs[k], GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) handles_[k] = reinterpret_cast<std::intptr_t>(handle);
    }
}

LogsHeldForReading::~LogsHeldForReading() {
    for (const std::intptr_t handle : handles_) {
        if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));
    }
}

bool LogsHeldForReading::active() const {
    return handles_[0] != -1 && handles_[1] != -1;
}
