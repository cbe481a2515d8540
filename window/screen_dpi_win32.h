// The screen's DPI for the Win32 window layer on every Windows the program starts on. Windows 10
// version 1607 and later know each window's DPI; older Windows scales every window of a DPI-aware
// program to the one system DPI. The newer functions are looked up in user32 when first needed, so
// the program imports none of them and still starts where they are missing.
#pragma once

#include <windows.h>

// The DPI the window stands on: its own where Windows keeps one per window, else the system DPI
// (96 at 100 %). Never 0.
UINT window_dpi(HWND window);

// Grows rect, a client area in pixels of dpi, to the outer rectangle of a window of that style
// and extended style without a menu, with the frame drawn at dpi where Windows can say, else at
// the system DPI. False when Windows refuses.
bool adjust_window_rect_for_dpi(RECT& rect, DWORD style, DWORD extended_style, UINT dpi);
