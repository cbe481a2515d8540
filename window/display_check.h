// Whether the display that the Qt window system would open can be reached, asked before Qt tries:
// Qt aborts the process when no platform of its choice starts.
#pragma once

#include <string>

// Empty when one of the platforms that Qt would try can start; else why none can, in a few words.
// Qt tries the -platform option (or --platform) of the command line, else $QT_QPA_PLATFORM, else
// the desktop session's ($XDG_SESSION_TYPE) and then X11 ("xcb"). An X11 display (the -display
// option, else $DISPLAY) must accept a connection, a Wayland one must have its socket listening;
// other platforms (offscreen, vnc, ...) need no display and are taken as able to start.
std::string why_no_display(int argc, char** argv);
