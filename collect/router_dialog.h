// The fixed script played to the router: each chunk the router sends is answered with the next
// line, chosen by the dialog state alone; what the router sent is never examined.
#pragma once

#include <cstdint>
#include <string_view>

// The dialog states. Each chunk received is answered with the line of the current state, and the
// state then moves on by one, so the state also tells which replies have arrived.
inline constexpr std::int32_t user_name_state = 1;     // the user name; no cycle starts here
inline constexpr std::int32_t password_state = 2;      // the greeting: answered with the password
inline constexpr std::int32_t command_state = 3;       // the prompt after login: "show adsl"
inline constexpr std::int32_t status_reply_state = 4;  // the status reply: "adsl showbins"
inline constexpr std::int32_t bins_reply_state = 5;    // the bit-loading reply: "exit"
inline constexpr std::int32_t done_state = 6;          // "exit" sent; nothing more is read

// Every cycle starts at password_state: the routers this program talks to ask for nothing but
// the password, so their first chunk is always answered with it and the user name is never sent.

// Sends the line for settings.dialog_state on settings.connection (the password as it is now,
// "show adsl", "adsl showbins", or "exit", which also sets settings.dialog_finished; the user name
// in user_name_state; other states send nothing), then increments the state, whatever the state
// was and whether or not the send succeeded. Every line ends with a single "\r".
void dialog_step();

// Whether the router's answer to the password refused the login: it says so ("incorrect",
// "denied", "invalid" or "failed", in any case), or it ends by asking for the password or the
// login again (a last line such as "Password:" or "Login:"). Any other answer is a welcome.
bool login_refused(std::string_view answer);
