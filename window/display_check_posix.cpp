// The display checks on Linux: an X11 connection opened and closed with xcb, a Wayland socket
// connected to and closed.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "window/display_check.h"

namespace {

// The variable's value, "" when it is unset.
std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Splits "wayland;xcb:option" into its plugin names.
std::vector<std::string> platform_names(std::string_view list) {
    std::vector<std::string> names;
    while (!list.empty()) {
        const std::string_view entry = list.substr(0, list.find(';'));
        list.remove_prefix(std::min(list.size(), entry.size() + 1));
        const std::string_view name = entry.substr(0, entry.find(':'));
        if (!name.empty()) names.emplace_back(name);
    }
    return names;
}

// The value of the command line's option `name` (-name or --name), "" when it has none.
std::string option_value(int argc, char** argv, std::string_view name) {
    for (int i = 1; i + 1 < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.starts_with("--")) arg.remove_prefix(1);
        if (arg.starts_with('-') && arg.substr(1) == name) return argv[i + 1];
    }
    return "";
}

// The display Qt's X11 platform opens: its -display option, else $DISPLAY.
std::string why_no_x11(const std::string& display_option) {
    const std::string display = display_option.empty() ? environment("DISPLAY") : display_option;
    if (display.empty()) return "DISPLAY is not set";
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    const bool refused = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    return refused ? "the X display " + display + " cannot be opened" : "";
}

// As the Wayland client library finds its display: $WAYLAND_SOCKET, a descriptor already
// connected, or the socket $WAYLAND_DISPLAY (default wayland-0), relative to $XDG_RUNTIME_DIR.
std::string why_no_wayland() {
    if (!environment("WAYLAND_SOCKET").empty()) return "";
    std::string path = environment("WAYLAND_DISPLAY");
    const bool named = !path.empty();
    if (!named) path = "wayland-0";
    if (path.front() != '/') {
        const std::string runtime_dir = environment("XDG_RUNTIME_DIR");
        if (runtime_dir.empty())
            return named ? "XDG_RUNTIME_DIR, where WAYLAND_DISPLAY lives, is not set"
                         : "WAYLAND_DISPLAY is not set";
        path = runtime_dir + "/" + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return "the Wayland display " + path + " cannot be opened";
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool refused =
        fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0;
    if (fd >= 0) close(fd);
    if (!refused) return "";
    return named ? "the Wayland display " + path + " cannot be opened"
                 : "WAYLAND_DISPLAY is not set";
}

// The platforms Qt tries, in its order, each a plugin name with its options after ':' removed.
std::vector<std::string> qt_platform_choice(int argc, char** argv) {
    if (const std::string chosen = option_value(argc, argv, "platform"); !chosen.empty())
        return platform_names(chosen);
    if (const std::string chosen = environment("QT_QPA_PLATFORM"); !chosen.empty())
        return platform_names(chosen);
    // Qt on GNOME ignores a Wayland session unless told so with QT_QPA_PLATFORM.
    std::string desktops =
        environment("XDG_CURRENT_DESKTOP") + ":" + environment("XDG_SESSION_DESKTOP");
    std::transform(desktops.begin(), desktops.end(), desktops.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (environment("XDG_SESSION_TYPE") == "wayland" && desktops.find("gnome") == std::string::npos)
        return {"wayland", "xcb"};
    return {"xcb"};
}

}  // namespace

std::string why_no_display(int argc, char** argv) {
    const std::string display_option = option_value(argc, argv, "display");
    std::string reasons;
    for (const std::string& platform : qt_platform_choice(argc, argv)) {
        std::string why;
        if (platform == "xcb") {
            why = why_no_x11(display_option);
        } else if (platform == "wayland" || platform.starts_with("wayland-")) {
            why = why_no_wayland();
        }
        if (why.empty()) return "";
        reasons += (reasons.empty() ? "" : ", and ") + why;
    }
    return reasons.empty() ? "no window system was named" : reasons;
}
