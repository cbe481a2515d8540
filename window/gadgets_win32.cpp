// The window and gadget layer on Win32: windows, gadgets and status bars under integer ids, and
// the event queue that wait_window_event fills from the thread's message loop. The A (code-page)
// functions throughout, so the texts are the very bytes the program hands over. Positions, sizes
// and the font are given for a 96 DPI screen and scaled to each window's DPI, which can change
// while it runs (a move to a screen with another scale).
#include "window/gadgets.h"

// windows.h first: the common controls' header builds on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <deque>
#include <map>
#include <string>

#include "window/ip_address_field_win32.h"
#include "window/screen_dpi_win32.h"
#include "window/window_handle_win32.h"
#include "window/window_icon_win32.h"

namespace {

// Commands of the accelerator table every window gets: Tab and Shift+Tab move the focus.
constexpr WORD next_control_command = 1212;
constexpr WORD previous_control_command = 1213;
// Win32 control ids of status bars start here, clear of the gadgets' ids.
constexpr int status_bar_control_id = 0x7000;
// Flag bits of open_window that ask for centring; the program never does, and they are no style.
constexpr DWORD centring_flags = 3;
// The DPI the callers' pixels are meant for; at it the layer creates everything as it is given.
constexpr UINT layout_dpi = USER_DEFAULT_SCREEN_DPI;
// The stock DEFAULT_GUI_FONT's size: 8-point MS Shell Dlg, 11 pixels at layout_dpi. At another
// DPI the layer makes it at 8 points itself: the stock font is made for the system's DPI on some
// systems (Wine) and for 96 DPI on others, and a window may stand on a screen of another DPI than
// the system's.
constexpr int layout_font_points = 8;

enum class GadgetKind { button, label, edit, address };

struct GadgetRecord {
    GadgetKind kind;
    HWND control;
    RECT layout;  // in the parent's client area at layout_dpi
};

struct WindowRecord {
    HWND window;
    HACCEL accelerators;
    UINT dpi;
};

struct QueuedEvent {
    int code;
    int window;
    int gadget;
    int type;
};

// Main-thread state; other threads reach the main thread only through window/worker_calls_win32.
struct Layer {
    DWORD main_thread = 0;            // 0 until the layer starts
    HFONT font = nullptr;             // the stock font, for layout_dpi
    std::map<UINT, HFONT> dpi_fonts;  // the stock font scaled, for each other DPI in use
    HICON icon = nullptr;
    SessionEndAction session_end = nullptr;
    std::map<int, WindowRecord> windows;
    std::map<int, GadgetRecord> gadgets;
    std::map<int, HWND> status_bars;
    HWND gadget_parent = nullptr;
    HWND tooltip = nullptr;
    std::deque<QueuedEvent> queue;
    int event_gadget = 0;
    int event_type = -1;
};

Layer layer;

bool on_main_thread() {
    return layer.main_thread != 0 && GetCurrentThreadId() == layer.main_thread;
}

std::string class_name(int id) {
    return "WindowClass_" + std::to_string(id);
}

int window_id_of(HWND window) {
    for (const auto& [id, record] : layer.windows) {
        if (record.window == window) return id;
    }
    return -1;
}

void queue_event(int code, HWND window) {
    // A layer event equal to the newest one still queued is not queued twice.
    const int id = window_id_of(window);
    if (!layer.queue.empty() && layer.queue.back().code == code && layer.queue.back().window == id)
        return;
    layer.queue.push_back({code, id, 0, -1});
}

// The notifications the program acts on become gadget events, in the order they happened.
void queue_gadget_event(HWND window, int gadget, int notification) {
    if (!layer.gadgets.contains(gadget)) return;
    if (notification != button_clicked && notification != content_changed) return;
    layer.queue.push_back({gadget_event, window_id_of(window), gadget, notification});
}

int scaled(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), static_cast<int>(layout_dpi));
}

// The DPI the window's contents are laid out for: the layer's own windows follow WM_DPICHANGED.
UINT dpi_of(HWND window) {
    if (const int id = window_id_of(window); id >= 0) return layer.windows[id].dpi;
    return window ? window_dpi(window) : layout_dpi;
}

// The stock font at the given DPI: the stock font itself where it has that size, else made once per
// DPI and kept until the layer is released.
HFONT font_for(UINT dpi) {
    LOGFONTA stock{};
    GetObjectA(layer.font, sizeof stock, &stock);
    const LONG height = -MulDiv(layout_font_points, static_cast<int>(dpi), 72);
    if (stock.lfHeight == height) return layer.font;
    HFONT& font = layer.dpi_fonts[dpi];
    if (!font) {
        stock.lfHeight = height;
        stock.lfWidth = 0;
        font = CreateFontIndirectA(&stock);
    }
    return font ? font : layer.font;
}

// Puts the gadget where its layout says at the DPI, in the DPI's font.
void place_gadget(const GadgetRecord& gadget, UINT dpi) {
    const RECT& at = gadget.layout;
    SetWindowPos(gadget.control, nullptr, scaled(at.left, dpi), scaled(at.top, dpi),
                 scaled(at.right - at.left, dpi), scaled(at.bottom - at.top, dpi),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(gadget.control, WM_SETFONT, reinterpret_cast<WPARAM>(font_for(dpi)), TRUE);
}

// The window's outer size for a client area of width x height at layout_dpi.
SIZE frame_size(HWND window, int width, int height, UINT dpi) {
    RECT frame{0, 0, scaled(width, dpi), scaled(height, dpi)};
    adjust_window_rect_for_dpi(frame, static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)),
                               static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)), dpi);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

// The window has moved to a screen of another DPI: its gadgets, status bar and font follow, and
// the window takes the rectangle the platform suggests, which keeps its client area in scale.
void change_dpi(HWND window, UINT dpi, const RECT& suggested) {
    const int id = window_id_of(window);
    if (id < 0 || dpi == 0) return;
    layer.windows[id].dpi = dpi;
    for (const auto& [gadget_id, gadget] : layer.gadgets) {
        if (GetParent(gadget.control) == window) place_gadget(gadget, dpi);
    }
    for (const auto& [bar_id, bar] : layer.status_bars) {
        if (GetParent(bar) == window)
            SendMessageA(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font_for(dpi)), TRUE);
    }
    SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void size_status_bars(HWND window) {
    for (const auto& [id, bar] : layer.status_bars) {
        if (GetParent(bar) == window) SendMessageA(bar, WM_SIZE, 0, 0);
    }
}

// Tab order is creation order; the focus may sit in a box inside a gadget (the address field).
void move_focus(HWND window, bool previous) {
    HWND current = GetFocus();
    while (current && GetParent(current) != window) current = GetParent(current);
    if (!current) {
        // Nothing of the window's has the focus (its holder was hidden, say): Tab starts at the
        // first control, Shift+Tab at the last.
        current = GetNextDlgTabItem(window, nullptr, FALSE);
        if (!previous) {
            if (current) SetFocus(current);
            return;
        }
    }
    if (HWND next = GetNextDlgTabItem(window, current, previous)) SetFocus(next);
}

LRESULT CALLBACK layer_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            if (lparam != 0) {
                queue_gadget_event(window, LOWORD(wparam), HIWORD(wparam));
            } else if (LOWORD(wparam) == next_control_command ||
                       LOWORD(wparam) == previous_control_command) {
                move_focus(window, LOWORD(wparam) == previous_control_command);
            }
            return 0;
        case WM_CLOSE:  // closing is the program's decision: report it and keep the window
            queue_event(close_window_event, window);
            return 0;
        case WM_MOVE:
            queue_event(window_moved_event, window);
            break;
        case WM_SIZE:
            size_status_bars(window);
            if (wparam != SIZE_MINIMIZED) queue_event(window_sized_event, window);
            break;
        case WM_ACTIVATE:
            if (LOWORD(wparam) != WA_INACTIVE) queue_event(window_activated_event, window);
            break;
        case WM_DPICHANGED:
            change_dpi(window, HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
            return 0;
        case WM_ENDSESSION:
            // The session ends once every program has answered, and the process with it: the
            // program's end runs before the answer, so nothing it owes the logs is lost.
            if (wparam && layer.session_end) layer.session_end();
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

HWND gadget_control(int id) {
    auto found = layer.gadgets.find(id);
    return found == layer.gadgets.end() ? nullptr : found->second.control;
}

void destroy_gadget(int id) {
    auto found = layer.gadgets.find(id);
    if (found == layer.gadgets.end()) return;
    DestroyWindow(found->second.control);
    layer.gadgets.erase(found);
}

bool can_create_gadget(int id) {
    return on_main_thread() && layer.gadget_parent && id >= 0;
}

// Creates a control under the current gadget list's window with the gadget id as its control id,
// placed and given the font for the window's DPI. Returns 1, or 0 when the platform refuses it.
int add_gadget(int id, GadgetKind kind, const char* control_class, std::string_view text,
               DWORD style, DWORD extended_style, int x, int y, int width, int height) {
    destroy_gadget(id);
    const std::string caption(text.substr(0, text.find('\0')));
    const UINT dpi = dpi_of(layer.gadget_parent);
    HWND control = CreateWindowExA(extended_style, control_class, caption.c_str(),
                                   style | WS_CHILD | WS_VISIBLE, scaled(x, dpi), scaled(y, dpi),
                                   scaled(width, dpi), scaled(height, dpi), layer.gadget_parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleA(nullptr), nullptr);
    if (!control) return 0;
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_for(dpi)), TRUE);
    layer.gadgets[id] = {kind, control, {x, y, x + width, y + height}};
    return 1;
}

std::string window_text(HWND control) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

HWND shared_tooltip() {
    if (!layer.tooltip) {
        // Shown whether or not the window is active.
        layer.tooltip = CreateWindowExA(
            WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, layer.gadget_parent,
            nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    return layer.tooltip;
}

}  // namespace

HWND status_bar_window(int id) {
    auto found = layer.status_bars.find(id);
    return found == layer.status_bars.end() ? nullptr : found->second;
}

HWND box_owner() {
    HWND active = GetForegroundWindow();
    return window_id_of(active) >= 0 ? active : nullptr;
}

std::string start_window_system(int&, char**) {
    return {};
}  // Windows is always up

int start_window_layer() {
    if (layer.main_thread != 0) return on_main_thread() ? 1 : 0;
    InitCommonControls();
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                 ICC_INTERNET_CLASSES | ICC_USEREX_CLASSES | ICC_DATE_CLASSES |
                                     ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    if (!InitCommonControlsEx(&classes)) return 0;
    layer.main_thread = GetCurrentThreadId();
    layer.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    layer.icon = application_icon();
    if (!start_worker_calls()) {
        layer.main_thread = 0;
        return 0;
    }
    return 1;
}

void release_window_layer() {
    release_worker_calls();
    if (!on_main_thread()) return;
    for (const auto& [id, record] : layer.windows) {
        DestroyWindow(record.window);  // takes its status bars, gadgets and tooltip along
        DestroyAcceleratorTable(record.accelerators);
        UnregisterClassA(class_name(id).c_str(), GetModuleHandleA(nullptr));
    }
    for (const auto& [dpi, font] : layer.dpi_fonts) DeleteObject(font);
    const SessionEndAction session_end = layer.session_end;
    layer = Layer{};
    layer.session_end = session_end;  // the program's choice, not the window's
}

void set_session_end_action(SessionEndAction action) {
    layer.session_end = action;
}

int open_window(int id, int x, int y, int width, int height, std::string_view title,
                std::uint32_t flags) {
    if (!on_main_thread() || id < 0) return 0;
    if (auto old = layer.windows.find(id); old != layer.windows.end()) {
        DestroyWindow(old->second.window);
        DestroyAcceleratorTable(old->second.accelerators);
        UnregisterClassA(class_name(id).c_str(), GetModuleHandleA(nullptr));
        layer.windows.erase(old);
    }

    const std::string name = class_name(id);
    WNDCLASSA window_class{};
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = &layer_window_proc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hIcon = layer.icon;
    window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window_class.lpszClassName = name.c_str();
    if (!RegisterClassA(&window_class)) return 0;

    const bool starts_hidden = flags & ws_visible;
    DWORD style = flags & ~(ws_visible | centring_flags);
    if (style == 0) style = WS_CAPTION;
    RECT frame{0, 0, width, height};  // the client area; the frame goes around it
    AdjustWindowRect(&frame, style, FALSE);
    const std::string caption(title.substr(0, title.find('\0')));
    HWND window = CreateWindowExA(0, name.c_str(), caption.c_str(), style, x, y,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window) {
        UnregisterClassA(name.c_str(), GetModuleHandleA(nullptr));
        return 0;
    }
    // Created for layout_dpi; on a screen of another scale the position, the client area and
    // everything in it grow with it, before the window is first shown.
    const UINT dpi = window_dpi(window);
    if (dpi != layout_dpi) {
        const SIZE outer = frame_size(window, width, height, dpi);
        SetWindowPos(window, nullptr, scaled(x, dpi), scaled(y, dpi), outer.cx, outer.cy,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ACCEL keys[] = {{FVIRTKEY | FNOINVERT, VK_TAB, next_control_command},
                    {FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, previous_control_command}};
    layer.windows[id] = {window, CreateAcceleratorTableA(keys, 2), dpi};
    if (!starts_hidden) ShowWindow(window, (style & WS_MAXIMIZE) ? SW_MAXIMIZE : SW_SHOWNORMAL);
    return 1;
}

WindowHandle window_handle(int id) {
    auto found = layer.windows.find(id);
    return found == layer.windows.end() ? nullptr : handle_of(found->second.window);
}

WindowHandle create_gadget_list(WindowHandle window) {
    if (on_main_thread()) layer.gadget_parent = hwnd_of(window);
    return window;
}

int create_status_bar(int id, WindowHandle window) {
    if (!on_main_thread() || !window || id < 0) return 0;
    if (HWND old = status_bar_window(id)) DestroyWindow(old);
    layer.status_bars.erase(id);
    HWND bar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "", hwnd_of(window),
                                   static_cast<UINT>(status_bar_control_id + id));
    if (!bar) return 0;
    SendMessageA(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font_for(dpi_of(hwnd_of(window)))),
                 TRUE);
    layer.status_bars[id] = bar;
    SendMessageA(bar, WM_SIZE, 0, 0);
    return 1;
}

int button_gadget(int id, int x, int y, int width, int height, std::string_view text) {
    if (!can_create_gadget(id)) return 0;
    return add_gadget(id, GadgetKind::button, "Button", text, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP,
                      0, x, y, width, height);
}

int text_gadget(int id, int x, int y, int width, int height, std::string_view text) {
    if (!can_create_gadget(id)) return 0;
    // Clipped rather than wrapped where a wider font than the layout's would push words onto a
    // line below the label's height.
    return add_gadget(id, GadgetKind::label, "Static", text, SS_LEFTNOWORDWRAP | WS_GROUP, 0, x, y,
                      width, height);
}

int string_gadget(int id, int x, int y, int width, int height, std::string_view text,
                  std::uint32_t flags) {
    if (!can_create_gadget(id)) return 0;
    // es_password and es_number are ES_PASSWORD and ES_NUMBER themselves.
    return add_gadget(id, GadgetKind::edit, "Edit", text,
                      flags | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, x, y, width,
                      height);
}

int ip_address_gadget(int id, int x, int y, int width, int height) {
    if (!can_create_gadget(id)) return 0;
    destroy_gadget(id);
    const UINT dpi = dpi_of(layer.gadget_parent);
    HWND field = create_ip_address_field(layer.gadget_parent, id, scaled(x, dpi), scaled(y, dpi),
                                         scaled(width, dpi), scaled(height, dpi), font_for(dpi));
    if (!field) return 0;
    layer.gadgets[id] = {GadgetKind::address, field, {x, y, x + width, y + height}};
    return 1;
}

void set_gadget_tooltip(int id, std::string_view text) {
    HWND control = gadget_control(id);
    HWND tooltip = control ? shared_tooltip() : nullptr;
    if (!tooltip) return;
    std::string tip(text.substr(0, text.find('\0')));
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = tip.data();  // the tooltip keeps a copy
    SendMessageA(tooltip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void hide_gadget(int id, int state) {
    if (HWND control = gadget_control(id)) ShowWindow(control, state != 0 ? SW_HIDE : SW_SHOW);
}

std::string gadget_text(int id) {
    auto found = layer.gadgets.find(id);
    if (found == layer.gadgets.end()) return "";
    if (found->second.kind == GadgetKind::address) return ip_address_text(found->second.control);
    return window_text(
        found->second.control);  // a password field gives its real text, not the mask
}

int wait_window_event() {
    layer.event_type = -1;
    while (layer.queue.empty()) {
        MSG message;
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT: whoever posted it asks the program to end, and it ends as the close box
            // ends it. (The loop would otherwise wait on and never end.)
            queue_event(close_window_event, nullptr);
            break;
        }
        if (got < 0) continue;  // only for a bad window filter, which this call has not
        HWND active = GetActiveWindow();
        const int id = window_id_of(active);
        if (id >= 0 && TranslateAcceleratorA(active, layer.windows[id].accelerators, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    const QueuedEvent event = layer.queue.front();
    layer.queue.pop_front();
    if (event.code == gadget_event) {
        layer.event_gadget = event.gadget;
        layer.event_type = event.type;
    }
    return event.code;
}

int event_gadget() {
    return layer.event_gadget;
}

int event_type() {
    return layer.event_type;
}
