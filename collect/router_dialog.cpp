// The router command dialog: one line of the script per chunk received.
#include "collect/router_dialog.h"

#include <string>

#include "collect/network.h"
#include "runtime/text.h"
#include "settings/settings.h"

void dialog_step() {
    const std::int32_t state = settings.dialog_state.load();
    Connection* connection = settings.connection.load();
    switch (state) {
        case user_name_state:
            send_text(connection, concat(settings.user_name, "\r"));
            break;
        case password_state:
            // Read at the moment of sending, so a password edited between cycles is the one that
            // goes.
            send_text(connection, concat(settings.password.get(), "\r"));
            break;
        case command_state:
            send_text(connection, "show adsl\r");
            break;
        case status_reply_state:
            send_text(connection, "adsl showbins\r");
            break;
        case bins_reply_state:
            send_text(connection, "exit\r");
            settings.dialog_finished = 1;
            break;
        default:
            break;
    }
    settings.dialog_state = wrapping_add(state, 1);
}
