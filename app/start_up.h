// Start-up: the settings record, the window layer and the main window, in the program's order.
#pragma once

// Needs the window system (start_window_system). Returns 0 when the window layer cannot start or
// the main window cannot be opened; the caller reports that and ends.
int start_up();
