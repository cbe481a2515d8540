// UnopenableLogs on Windows: each log that exists is held open with no sharing at all.
#include <windows.h>

#include <vector>

#include "unopenable_logs.h"

namespace {

const char* const logs[] = {"kelvastats.csv", "kelvabins.csv", "kelvaline.csv", "kelvatones.csv"};

}  // namespace

struct UnopenableLogs::Hold {
    std::vector<HANDLE> handles;
};

UnopenableLogs::UnopenableLogs() : hold_(std::make_unique<Hold>()) {
    for (const char* log : logs) {
        const HANDLE handle = CreateFileA(log, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) hold_->handles.push_back(handle);
    }
}

UnopenableLogs::~UnopenableLogs() {
    for (const HANDLE handle : hold_->handles) CloseHandle(handle);
}

bool UnopenableLogs::active() const {
    if (hold_->handles.empty()) return false;
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
