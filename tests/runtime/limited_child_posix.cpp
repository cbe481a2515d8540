// run_in_limited_child with fork and RLIMIT_FSIZE; SIGXFSZ is ignored so the write fails with
// EFBIG.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "limited_child.h"

int run_in_limited_child(std::int64_t limit_bytes, const std::function<int()>& body) {
    const pid_t child = fork();
    if (child < 0) return no_limited_child;
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(limit_bytes), static_cast<rlim_t>(limit_bytes)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
        _exit(body());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return no_limited_child;
    return WEXITSTATUS(status);
}
