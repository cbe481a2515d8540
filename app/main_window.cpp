// The main window's layout: positions, sizes, texts and tooltips of its gadgets.
#include "app/main_window.h"

#include <string>

#include "runtime/version.h"
#include "window/gadgets.h"

int build_main_window() {
    // The title is the program's name and version: "KelvaStats 4.4".
    const std::string title = "KelvaStats " + std::string(program_version());
    if (!open_window(main_window, 216, 0, 200, 233, title,
                     ws_caption | ws_sysmenu | ws_thickframe)) {
        return 0;
    }
    const WindowHandle window = window_handle(main_window);
    create_status_bar(main_status_bar, window);
    if (!create_gadget_list(window)) return 1;

    button_gadget(run_gadget, 20, 160, 60, 30, "Run");
    set_gadget_tooltip(run_gadget, "Start collecting data from the router");
    button_gadget(quit_gadget, 110, 160, 60, 30, "Quit");
    set_gadget_tooltip(quit_gadget, "Leave KelvaStats");
    ip_address_gadget(address_gadget, 20, 30, 110, 20);
    // The blanks put "Port" above the port field, right of the address field.
    text_gadget(3, 20, 10, 150, 13, "Router IP Address             Port");
    text_gadget(4, 20, 60, 100, 20, "Router Password");
    string_gadget(password_gadget, 20, 80, 150, 20, "", es_password);
    string_gadget(interval_gadget, 20, 130, 20, 20, "1", es_number);
    string_gadget(alarm_gadget, 120, 130, 50, 20, "0", es_number);
    text_gadget(7, 20, 110, 70, 20, "Interval(Min)");
    text_gadget(9, 95, 110, 110, 20, "Alarm (CRC/Int)");
    string_gadget(port_gadget, 140, 30, 30, 20, "23", es_number);
    return 1;
}
