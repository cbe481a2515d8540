// The end of the desktop session (logoff, shut-down) ends the program as Quit does.
#pragma once

// Called once at start-up, after the window layer has started.
void end_with_the_session();
