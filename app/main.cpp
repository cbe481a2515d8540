// kelvastats: the program entry. Start-up, the event loop until the close box, program end.
#include <cstdio>
#include <string>

#include "app/event_loop.h"
#include "app/program_end.h"
#include "app/start_up.h"
#include "window/gadgets.h"

int main(int argc, char* argv[]) {
    if (const std::string why = start_window_system(argc, argv); !why.empty()) {
        std::fprintf(stderr, "kelvastats: cannot open the window: %s\n", why.c_str());
        return 1;
    }
    if (!start_up()) {
        std::fprintf(stderr, "kelvastats: the main window could not be opened\n");
        return 1;
    }
    event_loop();
    program_end();
    return 0;
}
