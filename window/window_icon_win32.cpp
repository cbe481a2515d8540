// The program's icon on Win32: the executable's icon resource 1, drawn like the Linux build's.
#include "window/window_icon_win32.h"

HICON application_icon() {
    if (HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1))) return icon;
    return LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
}
