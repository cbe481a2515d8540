// A desktop's logout on Linux arrives as a signal (SIGTERM or SIGHUP), not through the window.
#include "app/session_end.h"

void end_with_the_session() {}
