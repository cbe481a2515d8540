// signalled_now on POSIX: the descriptor polls readable.
#include <poll.h>

#include "wait_handle_probe.h"

bool signalled_now(NativeWaitHandle handle) {
    pollfd watched{static_cast<int>(handle.value), POLLIN, 0};
    return handle.present() && poll(&watched, 1, 0) == 1;
}
