// Start-up in its fixed order: settings zeroed, services started, names set, window built, then
// the defaults the user's fields start from.
#include "app/start_up.h"

#include "app/main_window.h"
#include "app/settings.h"
#include "app/write_signals.h"
#include "runtime/gadgets.h"

int start_up() {
    zero_settings();
    ignore_write_signals();
    if (!start_window_layer()) return 0;

    settings.stats_log_name = "kelvastats.csv";
    settings.bins_log_name = "kelvabins.csv";
    settings.loop_flag = "true";
    settings.user_name = "DSL";
    settings.password = "";
    settings.first_collection = 1;

    if (!build_main_window()) return 0;

    // The address field starts blank, yet until it is edited the worker uses this address.
    settings.interval_ms = 60000;
    settings.password = "";
    settings.router_address = "192.168.1.1";
    settings.worker_started = 0;
    settings.port = 23;
    settings.alarm_threshold = 0;
    return 1;
}
