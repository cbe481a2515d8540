// Start-up: the settings' defaults, the services, then the main window.
#include "app/start_up.h"

#include "app/main_window.h"
#include "app/session_end.h"
#include "runtime/write_signals.h"
#include "settings/settings.h"
#include "window/gadgets.h"

int start_up() {
    // The address field starts blank, yet until it is edited the worker uses the default address.
    reset_settings_to_defaults();
    ignore_write_signals();
    if (!start_window_layer()) return 0;
    end_with_the_session();
    return build_main_window();
}
