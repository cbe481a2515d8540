// The router command dialog: one line of the script per chunk received.
#include "collect/router_dialog.h"

#include <array>
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

bool login_refused(std::string_view answer) {
    constexpr std::array<std::string_view, 4> failures = {"incorrect", "denied", "invalid",
                                                          "failed"};
    for (const std::string_view word : failures) {
        if (contains_ignoring_case(answer, word)) return true;
    }
    // The prompt the answer ends with: its last line, without the blanks after the colon.
    const std::size_t line_end = answer.find_last_of("\r\n");
    std::string_view prompt =
        line_end == std::string_view::npos ? answer : answer.substr(line_end + 1);
    while (!prompt.empty() && (prompt.back() == ' ' || prompt.back() == '\t'))
        prompt.remove_suffix(1);
    if (prompt.empty() || prompt.back() != ':') return false;
    constexpr std::array<std::string_view, 4> asks = {"password", "login", "user", "account"};
    for (const std::string_view word : asks) {
        if (contains_ignoring_case(prompt, word)) return true;
    }
    return false;
}
