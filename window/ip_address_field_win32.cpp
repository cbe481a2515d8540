// The address field on Win32: the platform's control keeps its four boxes and their dots itself.
#include "window/ip_address_field_win32.h"

// windows.h first: the common controls' header builds on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

HWND create_ip_address_field(HWND parent, int id, int x, int y, int width, int height, HFONT font) {
    HWND field = CreateWindowExA(
        0, WC_IPADDRESSA, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, x, y, width, height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    if (field) SendMessageA(field, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return field;
}

std::string ip_address_text(HWND field) {
    DWORD address = 0;  // blank boxes read 0
    SendMessageA(field, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
    return std::to_string(FIRST_IPADDRESS(address)) + '.' +
           std::to_string(SECOND_IPADDRESS(address)) + '.' +
           std::to_string(THIRD_IPADDRESS(address)) + '.' +
           std::to_string(FOURTH_IPADDRESS(address));
}
