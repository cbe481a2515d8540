// Windows raises no signal for a failed write: a closed connection or a full disk already comes
// back as an error of the call.
#include "runtime/write_signals.h"

void ignore_write_signals() {}
