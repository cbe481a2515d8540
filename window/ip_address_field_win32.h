// The IPv4 address field on Win32: the platform's own address control, "SysIPAddress32".
#pragma once

#include <windows.h>

#include <string>

// The control as child id of parent, in the given font; null when it cannot be made.
HWND create_ip_address_field(HWND parent, int id, int x, int y, int width, int height, HFONT font);

// Dotted decimal, boxes in on-screen order, a blank box reading 0: "0.0.0.0" when blank.
std::string ip_address_text(HWND field);
