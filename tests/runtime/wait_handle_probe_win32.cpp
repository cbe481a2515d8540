// signalled_now on Windows: the event is set.
#include <windows.h>

#include "wait_handle_probe.h"

bool signalled_now(NativeWaitHandle handle) {
    return handle.present() &&
           WaitForSingleObject(reinterpret_cast<HANDLE>(handle.value), 0) == WAIT_OBJECT_0;
}
