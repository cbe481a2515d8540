// The two actions of the window's buttons.
#pragma once

// Refuses an empty password with a box; otherwise starts the worker once and hides "Run".
void run_action();

// Stops the worker if it was started, then ends the program.
void quit_action();
