// Whether the display that the Qt window system would open can be reached, asked before Qt tries:
// Qt aborts the process when no platform of its choice starts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The platforms Qt tries, in its order: the -platform option (or --platform) of the command line,
// else $QT_QPA_PLATFORM, else the desktop session's ($XDG_SESSION_TYPE) and then X11 ("xcb").
// Each is a plugin name, options after ':' removed.
std::vector<std::string> qt_platform_choice(int argc, char** argv);

// Empty when one of the platforms can start; else why none can, in a few words. An X11 display
// ("xcb") must accept a connection, a Wayland one must have its socket listening; other platforms
// (offscreen, vnc, ...) need no display and are taken as able to start.
std::string why_no_display(const std::vector<std::string>& platforms);
