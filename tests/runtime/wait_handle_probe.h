// Whether a native wait handle is signalled right now, looked at without waiting.
#pragma once

#include "runtime/native_handle.h"

bool signalled_now(NativeWaitHandle handle);
