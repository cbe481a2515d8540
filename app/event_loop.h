// The event loop: turns the window's events into settings and into the Run and Quit actions.
#pragma once

// Runs until the window's close box is used, then returns (the caller ends the program). Quit
// ends the program from inside; the loop returns after it only when a test replaced the exit.
void event_loop();
