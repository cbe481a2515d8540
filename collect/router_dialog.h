// The fixed script played to the router: each chunk the router sends is answered with the next
// line, chosen by the dialog state alone; what the router sent is never examined.
#pragma once

// Sends the line for settings.dialog_state on settings.connection (state 2: the password as it is
// now, 3: "show adsl", 4: "adsl showbins", 5: "exit", which also sets settings.dialog_finished;
// 1: the user name; other states send nothing), then increments the state, whatever the state
// was and whether or not the send succeeded. Every line ends with a single "\r".
void dialog_step();
