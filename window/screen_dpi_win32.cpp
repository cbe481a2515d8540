// The screen's DPI on every Windows the program starts on: the per-window DPI functions of Windows
// 10 version 1607 looked up at run time, the system DPI of older Windows where they are missing.
#include "window/screen_dpi_win32.h"

namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

struct DpiFunctions {
    GetDpiForWindowFunction get_dpi_for_window = nullptr;           // null before 10 version 1607
    AdjustWindowRectExForDpiFunction adjust_window_rect = nullptr;  // null before 10 version 1607
    UINT system_dpi = USER_DEFAULT_SCREEN_DPI;  // fixed until the user logs off on older Windows
};

template <typename Function>
Function user32_function(HMODULE user32, const char* name) {
    // Through void (*)(): GetProcAddress's type says nothing of the function's own.
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(user32 ? GetProcAddress(user32, name) : nullptr));
}

// Looked up once, by the first caller; user32 stays loaded for the process's life, as the
// program imports it.
const DpiFunctions& dpi_functions() {
    static const DpiFunctions functions = [] {
        DpiFunctions found;
        HMODULE user32 = GetModuleHandleA("user32.dll");
        found.get_dpi_for_window =
            user32_function<GetDpiForWindowFunction>(user32, "GetDpiForWindow");
        found.adjust_window_rect =
            user32_function<AdjustWindowRectExForDpiFunction>(user32, "AdjustWindowRectExForDpi");
        if (HDC screen = GetDC(nullptr)) {
            const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
            if (dpi > 0) found.system_dpi = static_cast<UINT>(dpi);
            ReleaseDC(nullptr, screen);
        }
        return found;
    }();
    return functions;
}

}  // namespace

UINT window_dpi(HWND window) {
    const DpiFunctions& functions = dpi_functions();
    const UINT dpi = functions.get_dpi_for_window ? functions.get_dpi_for_window(window) : 0;
    return dpi != 0 ? dpi : functions.system_dpi;
}

bool adjust_window_rect_for_dpi(RECT& rect, DWORD style, DWORD extended_style, UINT dpi) {
    const DpiFunctions& functions = dpi_functions();
    if (functions.adjust_window_rect)
        return functions.adjust_window_rect(&rect, style, FALSE, extended_style, dpi);
    return AdjustWindowRectEx(&rect, style, FALSE, extended_style);
}
