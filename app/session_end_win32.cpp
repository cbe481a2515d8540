// Windows tells the program's window that the session ends and may end the process as soon as the
// window has answered: the Quit action runs inside that answer, so the lines waiting for a log
// are written, if it can be written, before the process goes.
#include "app/run_quit.h"
#include "app/session_end.h"
#include "window/window_handle_win32.h"

void end_with_the_session() {
    set_session_end_action(&quit_action);
}
