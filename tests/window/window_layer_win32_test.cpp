// The Win32 window layer's own promises, with the platform's real controls: the address field's
// dotted text, the digits-only and password fields, clicks, the close box and a posted quit as
// events, the two calls another thread makes: the status text, and the box with its owner rule,
// which must never hang a thread that is being stopped; and the program's main window scaled to
// the screen's DPI.

// windows.h first: the common controls' header builds on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "runtime/stop.h"
#include "runtime/ui_calls.h"
#include "window/gadgets.h"
#include "window/window_handle_win32.h"

namespace {

constexpr int window_id = 0;
constexpr int address_id = 1;
constexpr int digits_id = 2;
constexpr int password_id = 3;
constexpr int button_id = 4;
constexpr DWORD patience_ms = 5000;

struct GadgetEvent {
    int gadget;
    int type;
    bool operator==(const GadgetEvent&) const = default;
};

HWND main_hwnd() {
    return hwnd_of(window_handle(window_id));
}
HWND control(int id) {
    return GetDlgItem(main_hwnd(), id);
}

// Keys as typed: each character to whichever control has the focus (the address field moves it on).
void type_text(HWND target, const std::string& text) {
    SetFocus(target);
    for (char c : text) SendMessageA(GetFocus(), WM_CHAR, static_cast<unsigned char>(c), 1);
}

// Runs the main thread's messages until done() holds; false when it does not within patience_ms.
bool pump_until(const std::function<bool()>& done) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > patience_ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return true;
}

// Closes the window and takes every gadget event queued before that close.
std::vector<GadgetEvent> take_gadget_events() {
    PostMessageA(main_hwnd(), WM_CLOSE, 0, 0);
    std::vector<GadgetEvent> events;
    for (int code; (code = wait_window_event()) != close_window_event;) {
        if (code == gadget_event) events.push_back({event_gadget(), event_type()});
    }
    return events;
}

HWND visible_box() {
    HWND box = FindWindowA("#32770", "KelvaStats");
    return box && IsWindowVisible(box) ? box : nullptr;
}

std::string status_text() {
    char text[256] = "";
    HWND bar = FindWindowExA(main_hwnd(), nullptr, STATUSCLASSNAMEA, nullptr);
    SendMessageA(bar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

class WindowLayerWin32Test : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(start_window_layer());
        ASSERT_TRUE(open_window(window_id, 100, 50, 200, 233, "Layer",
                                ws_caption | ws_sysmenu | ws_thickframe));
        WindowHandle window = window_handle(window_id);
        ASSERT_TRUE(create_status_bar(0, window));
        ASSERT_EQ(create_gadget_list(window), window);
        ASSERT_TRUE(ip_address_gadget(address_id, 20, 30, 110, 20));
        ASSERT_TRUE(string_gadget(digits_id, 20, 130, 50, 20, "1", es_number));
        ASSERT_TRUE(string_gadget(password_id, 20, 80, 150, 20, "", es_password));
        ASSERT_TRUE(button_gadget(button_id, 20, 160, 60, 30, "Run"));
        SetForegroundWindow(main_hwnd());
        take_gadget_events();  // the initial texts are no edits of the user's
    }
    void TearDown() override { release_window_layer(); }
};

TEST_F(WindowLayerWin32Test, AddressFieldReadsAsDottedTextOneEventPerEdit) {
    struct Case {
        std::string typed;
        std::string dotted;
    };
    // Wine's boxes are two digits wide whatever the font: no box here needs a third.
    for (const Case& c : {Case{"", "0.0.0.0"}, Case{"10", "10.0.0.0"}, Case{"19.16", "19.16.0.0"},
                          Case{"10.1.1.1", "10.1.1.1"}, Case{"07.01.0.1", "7.1.0.1"}}) {
        SCOPED_TRACE(c.typed);
        ASSERT_TRUE(ip_address_gadget(address_id, 20, 30, 110, 20));
        type_text(control(address_id), c.typed);
        EXPECT_EQ(gadget_text(address_id), c.dotted);
        const std::vector<GadgetEvent> events = take_gadget_events();
        EXPECT_EQ(events.empty(), c.typed.empty());
        for (const GadgetEvent& event : events) {
            EXPECT_EQ(event, (GadgetEvent{address_id, content_changed}));
        }
    }
}

TEST_F(WindowLayerWin32Test, DigitsOnlyFieldRefusesTypedLettersButTakesWhatIsPasted) {
    SendMessageA(control(digits_id), EM_SETSEL, 1, 1);
    type_text(control(digits_id), "x2 y-");
    EXPECT_EQ(gadget_text(digits_id), "12");
    EXPECT_EQ(take_gadget_events(), (std::vector<GadgetEvent>{{digits_id, content_changed}}));

    // The platform checks only keys; the event loop reads the leading digits of whatever is there.
    ASSERT_TRUE(OpenClipboard(main_hwnd()));
    EmptyClipboard();
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, 3);
    std::memcpy(GlobalLock(copy), "5x", 3);
    GlobalUnlock(copy);
    SetClipboardData(CF_TEXT, copy);
    CloseClipboard();
    SendMessageA(control(digits_id), WM_PASTE, 0, 0);
    EXPECT_EQ(gadget_text(digits_id), "125x");
}

TEST_F(WindowLayerWin32Test, PasswordFieldMasksWhatIsTypedButReadsTheRealText) {
    type_text(control(password_id), "s3cret");
    EXPECT_EQ(gadget_text(password_id), "s3cret");
    EXPECT_NE(SendMessageA(control(password_id), EM_GETPASSWORDCHAR, 0, 0), 0);
    EXPECT_EQ(take_gadget_events().size(), 6u);
}

TEST_F(WindowLayerWin32Test, ClicksAreEventsAndTheCloseBoxKeepsTheWindow) {
    SendMessageA(control(button_id), BM_CLICK, 0, 0);
    PostMessageA(main_hwnd(), WM_CLOSE, 0, 0);
    PostMessageA(main_hwnd(), WM_CLOSE, 0, 0);  // twice before anyone looks: one event
    EXPECT_EQ(wait_window_event(), gadget_event);
    EXPECT_EQ(event_gadget(), button_id);
    EXPECT_EQ(event_type(), button_clicked);
    EXPECT_EQ(wait_window_event(), close_window_event);
    EXPECT_EQ(event_type(), -1);
    EXPECT_TRUE(IsWindowVisible(main_hwnd()));

    hide_gadget(button_id, 1);
    EXPECT_FALSE(IsWindowVisible(control(button_id)));
    SendMessageA(control(password_id), WM_CHAR, 'a', 1);
    EXPECT_EQ(wait_window_event(), gadget_event);  // the second close was not queued
    EXPECT_EQ(event_gadget(), password_id);
}

std::atomic<bool> quit_went_unseen{false};

TEST_F(WindowLayerWin32Test, PostedQuitEndsTheWaitAsTheCloseBoxDoes) {
    // Should the quit go unseen, a timer closes the window after patience_ms, so the wait ends.
    const UINT_PTR rescue = SetTimer(nullptr, 0, patience_ms, [](HWND, UINT, UINT_PTR, DWORD) {
        quit_went_unseen = true;
        PostMessageA(main_hwnd(), WM_CLOSE, 0, 0);
    });
    PostQuitMessage(0);
    while (wait_window_event() != close_window_event) {
    }
    KillTimer(nullptr, rescue);
    EXPECT_FALSE(quit_went_unseen);
}

// The gadget (not the box inside the address field) that has the keyboard focus.
int focused_gadget() {
    HWND focus = GetFocus();
    while (focus && GetParent(focus) != main_hwnd()) focus = GetParent(focus);
    return focus ? GetDlgCtrlID(focus) : -1;
}

// Presses Tab (Shift+Tab) on the keyboard, then Alt+F4, whose close event ends the wait once the
// Tab has gone through the event loop; gives the gadget that has the focus then.
int after_tab(bool shift) {
    std::vector<INPUT> keys;
    auto key = [&keys](WORD code, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = code;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        keys.push_back(input);
    };
    if (shift) key(VK_SHIFT, false);
    key(VK_TAB, false);
    key(VK_TAB, true);
    if (shift) key(VK_SHIFT, true);
    key(VK_MENU, false);
    key(VK_F4, false);
    key(VK_F4, true);
    key(VK_MENU, true);
    SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
    while (wait_window_event() != close_window_event) {
    }
    return focused_gadget();
}

TEST_F(WindowLayerWin32Test, TabMovesTheFocusInCreationOrderAndSkipsAHiddenGadget) {
    SetFocus(control(address_id));
    EXPECT_EQ(after_tab(false), digits_id);
    EXPECT_EQ(after_tab(false), password_id);
    EXPECT_EQ(after_tab(false), button_id);
    EXPECT_EQ(after_tab(false), address_id);  // round from the last to the first
    EXPECT_EQ(after_tab(true), button_id);
    hide_gadget(button_id, 1);
    EXPECT_EQ(after_tab(true), password_id);
    EXPECT_EQ(after_tab(false), address_id);
}

TEST_F(WindowLayerWin32Test, StatusTextFromAnotherThreadIsSetWhenTheCallReturns) {
    std::string text_at_return;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        set_status_text(0, 0, "Collection: 12:00   DeltaCRC: 3");
        text_at_return = status_text();  // read by the calling thread: a text on its way is missing
        returned = true;
    });
    EXPECT_TRUE(pump_until([&] { return returned.load(); }));
    worker.join();
    EXPECT_EQ(text_at_return, "Collection: 12:00   DeltaCRC: 3");
}

TEST_F(WindowLayerWin32Test, BoxOfAnotherThreadIsOwnedOnlyByTheActiveWindowAndHoldsItUntilOk) {
    for (bool window_active : {true, false}) {
        SCOPED_TRACE(window_active ? "window active" : "another window active");
        HWND other = nullptr;
        if (!window_active) {
            other = CreateWindowExA(0, "Static", "Elsewhere", WS_POPUP | WS_VISIBLE, 300, 300, 50,
                                    50, nullptr, nullptr, nullptr, nullptr);
            SetForegroundWindow(other);
        }
        std::atomic<int> result{-1};
        std::thread worker([&] { result = message_box("KelvaStats", "Can't find the server", 0); });
        HWND box = nullptr;
        ASSERT_TRUE(pump_until([&] { return (box = visible_box()) != nullptr; }));
        char text[64] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        EXPECT_STREQ(text, "Can't find the server");
        EXPECT_EQ(GetWindow(box, GW_OWNER), window_active ? main_hwnd() : nullptr);
        EXPECT_EQ(IsWindowEnabled(main_hwnd()) != 0, !window_active);  // a free box blocks nothing
        EXPECT_EQ(result.load(), -1);

        SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        EXPECT_TRUE(pump_until([&] { return result.load() != -1; }));
        worker.join();
        EXPECT_EQ(result.load(), IDOK);
        EXPECT_TRUE(IsWindowEnabled(main_hwnd()));
        if (other) DestroyWindow(other);
    }
}

// What the main thread's box looked like when it came up; it is then answered with OK.
struct BoxSeen {
    HWND owner = nullptr;
    std::string text;
};
BoxSeen box_seen;

LRESULT CALLBACK answer_box(int code, WPARAM wparam, LPARAM lparam) {
    HWND box = reinterpret_cast<HWND>(wparam);
    char window_class[16] = "";
    GetClassNameA(box, window_class, sizeof window_class);
    if (code == HCBT_ACTIVATE &&
        std::string(window_class) == "#32770") {  // not the window after it
        char text[64] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        box_seen = {GetWindow(box, GW_OWNER), text};
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST_F(WindowLayerWin32Test, BoxOfTheMainThreadIsOwnedByTheActiveWindowAndAnsweredWithOk) {
    HHOOK hook = SetWindowsHookExA(WH_CBT, &answer_box, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    EXPECT_EQ(message_box("Error", "Please enter a password before running", 0), IDOK);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(box_seen.owner, main_hwnd());
    EXPECT_EQ(box_seen.text, "Please enter a password before running");
    EXPECT_TRUE(IsWindowEnabled(main_hwnd()));
}

TEST_F(WindowLayerWin32Test, ThreadWaitingForItsBoxEndsOnStopAndTheBoxGoes) {
    auto stop = make_stop_state();
    std::atomic<int> result{-1};
    std::thread worker([&] {
        bind_stop_state(stop);
        result = message_box("KelvaStats", "Can't find the server", 0);
    });
    ASSERT_TRUE(pump_until([] { return visible_box() != nullptr; }));
    request_stop(*stop);
    EXPECT_TRUE(pump_until([&] { return result.load() != -1 && !visible_box(); }));
    worker.join();
    EXPECT_EQ(result.load(), 0);
}

// The test program is per-monitor DPI aware, as the program's manifest makes the program (Wine
// makes every program so, and refuses to be asked twice).
const bool per_monitor_aware =
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) ||
    GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext()) ==
        DPI_AWARENESS_PER_MONITOR_AWARE;

int scaled(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
}

// What the user sees of the main window at dpi: its client area and the places of a few gadgets
// in scale (within a pixel of rounding), the font in scale, every label's and button's text whole
// inside its gadget.
void expect_main_window_laid_out_for(HWND window, UINT dpi) {
    SCOPED_TRACE(testing::Message() << dpi << " DPI");
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_NEAR(client.right, scaled(200, dpi), 1);
    EXPECT_NEAR(client.bottom, scaled(233, dpi), 1);
    struct Place {
        int gadget;
        RECT at_96_dpi;
    };
    for (const Place& place :
         {Place{quit_gadget, {110, 160, 170, 190}}, Place{address_gadget, {20, 30, 130, 50}},
          Place{port_gadget, {140, 30, 170, 50}}}) {
        RECT at{};
        GetWindowRect(GetDlgItem(window, place.gadget), &at);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&at), 2);
        EXPECT_NEAR(at.left, scaled(place.at_96_dpi.left, dpi), 1) << "gadget " << place.gadget;
        EXPECT_NEAR(at.top, scaled(place.at_96_dpi.top, dpi), 1) << "gadget " << place.gadget;
        EXPECT_NEAR(at.right, scaled(place.at_96_dpi.right, dpi), 1) << "gadget " << place.gadget;
        EXPECT_NEAR(at.bottom, scaled(place.at_96_dpi.bottom, dpi), 1) << "gadget " << place.gadget;
    }
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char kind[16] = "";
        GetClassNameA(child, kind, sizeof kind);
        if (std::strcmp(kind, "Static") != 0 && std::strcmp(kind, "Button") != 0) continue;
        char text[64] = "";
        const int length = GetWindowTextA(child, text, sizeof text);
        const auto font = reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0));
        LOGFONTA shape{};
        GetObjectA(font, sizeof shape, &shape);
        EXPECT_EQ(shape.lfHeight, -MulDiv(8, static_cast<int>(dpi), 72)) << text;  // 8 points
        HDC dc = GetDC(child);
        HGDIOBJ old_font = SelectObject(dc, font);
        SIZE extent{};
        GetTextExtentPoint32A(dc, text, length, &extent);
        SelectObject(dc, old_font);
        ReleaseDC(child, dc);
        RECT box{};
        GetClientRect(child, &box);
        EXPECT_LE(extent.cx, box.right) << '"' << text << "\" is cut";
        EXPECT_LE(extent.cy, box.bottom) << '"' << text << "\" is cut";
    }
}

// The screen's DPI is 96 unless KELVA_SCREEN_DPI says what the test's Wine prefix was given.
TEST(MainWindowWin32Test, FollowsTheScreensDpiAtStartAndWhenMovedToAnotherScreen) {
    ASSERT_TRUE(per_monitor_aware);
    const char* screen_dpi = std::getenv("KELVA_SCREEN_DPI");
    const UINT dpi = screen_dpi ? static_cast<UINT>(std::atoi(screen_dpi)) : 96;
    ASSERT_TRUE(start_window_layer());
    ASSERT_TRUE(build_main_window());
    HWND window = hwnd_of(window_handle(main_window));
    ASSERT_EQ(GetDpiForWindow(window), dpi);
    expect_main_window_laid_out_for(window, dpi);

    // On a move to a screen of another scale the platform suggests a rectangle in that scale; its
    // frame here is the one the window has, as Wine keeps it whatever the window's DPI.
    const UINT other_dpi = dpi == 96 ? 144 : 96;
    RECT outer{};
    RECT client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    const RECT suggested{10, 10,
                         10 + outer.right - outer.left - client.right + scaled(200, other_dpi),
                         10 + outer.bottom - outer.top - client.bottom + scaled(233, other_dpi)};
    SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(other_dpi, other_dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    expect_main_window_laid_out_for(window, other_dpi);
    release_window_layer();
}

}  // namespace
