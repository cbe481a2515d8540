// A desktop's logout on Linux arrives as a signal (SIGTERM or SIGHUP), not through the window: the
// Qt window layer turns it into session_end_event, on which the event loop runs Quit. Nothing to
// set up here.
#include "app/session_end.h"

void end_with_the_session() {}
