// Unwritable logs on Linux: file modes (immutability for root, whom no permission bit stops);
// nothing refuses a file that another program holds open.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "unwritable_logs.h"

namespace {

const char* const logs[2] = {"kelvastats.csv", "kelvabins.csv"};

void set_immutable(const char* name, bool on) {
    const int fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    int flags = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    close(fd);
}

void make_read_only(bool on) {
    for (const char* log : logs) {
        if (geteuid() != 0) {
            chmod(log, on ? 0444 : 0644);
        } else {
            set_immutable(log, on);
        }
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
        const int fd = open(log, O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            close(fd);
            return false;
        }
    }
    return true;
}

LogsHeldForReading::LogsHeldForReading() = default;

LogsHeldForReading::~LogsHeldForReading() = default;

bool LogsHeldForReading::active() const {
    return false;
}
