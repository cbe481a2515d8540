// The status text and the message box on Win32, from any thread. Another thread's call goes into
// the layer's own locked queue and a message posted to a hidden window of the main thread rings
// for it; the caller then waits for its done signal together with its own stop request, so a
// thread being stopped never hangs on the window. A box is shown by a thread of its own, so that
// neither the worker nor the main thread's loop is held while it is up.

// windows.h first: the common controls' header builds on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "runtime/ui_calls.h"
#include "runtime/wake_signal.h"
#include "window/window_handle_win32.h"

namespace {

constexpr UINT run_posted_message = WM_APP + 1;
constexpr char doorbell_class[] = "KelvaStatsDoorbell";

// A call another thread asked for; it waits on `done`. For a box, the box's window once it is up,
// so that a caller that stops waiting can take the box down.
struct WorkerCall {
    WakeSignal done;
    std::mutex box_mutex;
    HWND box = nullptr;
    bool abandoned = false;
};

struct Calls {
    std::mutex mutex;
    DWORD main_thread = 0;
    HWND doorbell = nullptr;  // a message-only window of the main thread; null while not running
    std::deque<std::function<void()>> posted;
    std::vector<std::shared_ptr<WorkerCall>> waiting;
};

Calls calls;

bool on_main_thread() {
    std::lock_guard lock(calls.mutex);
    return calls.doorbell && GetCurrentThreadId() == calls.main_thread;
}

// Main thread: runs the jobs other threads posted, oldest first, each outside the lock.
void run_posted_jobs() {
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard lock(calls.mutex);
            if (calls.posted.empty()) return;
            job = std::move(calls.posted.front());
            calls.posted.pop_front();
        }
        job();
    }
}

LRESULT CALLBACK doorbell_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == run_posted_message) {
        run_posted_jobs();
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// Hands job to the main thread; the caller then waits with wait_for_main_thread until the job
// raises the call's signal. Null when the layer is not running (nothing was posted).
std::shared_ptr<WorkerCall> call_main_thread(
    std::function<void(const std::shared_ptr<WorkerCall>&)> job) {
    auto call = std::make_shared<WorkerCall>();
    std::lock_guard lock(calls.mutex);
    if (!calls.doorbell) return nullptr;
    calls.waiting.push_back(call);
    calls.posted.push_back([call, job = std::move(job)] { job(call); });
    PostMessageA(calls.doorbell, run_posted_message, 0, 0);
    return call;
}

// True when the main thread finished the call, false when a stop request ended the wait.
bool wait_for_main_thread(const std::shared_ptr<WorkerCall>& call) {
    const bool done = call->done.wait();
    std::lock_guard lock(calls.mutex);
    std::erase(calls.waiting, call);
    return done;
}

void set_text_of_status_bar(int bar, int field, const std::string& text) {
    if (HWND control = status_bar_window(bar)) {
        SendMessageA(control, SB_SETTEXTA, static_cast<WPARAM>(field),
                     reinterpret_cast<LPARAM>(text.c_str()));
    }
}

void status_text_handler(int bar, int field, std::string_view text) {
    std::string copy(text.substr(0, text.find('\0')));
    if (on_main_thread()) {
        set_text_of_status_bar(bar, field, copy);
        return;
    }
    auto call = call_main_thread(
        [bar, field, copy = std::move(copy)](const std::shared_ptr<WorkerCall>& call) {
            set_text_of_status_bar(bar, field, copy);
            call->done.raise();
        });
    if (call) wait_for_main_thread(call);
}

// The box thread learns its box's window as the box is activated, before anyone can answer it.
thread_local WorkerCall* box_being_shown = nullptr;

LRESULT CALLBACK note_box_window(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE && box_being_shown) {
        std::lock_guard lock(box_being_shown->box_mutex);
        if (!box_being_shown->box) {
            box_being_shown->box = reinterpret_cast<HWND>(wparam);
            if (box_being_shown->abandoned) PostMessageA(box_being_shown->box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// Takes the call's box down, now or as soon as it is up.
void abandon_box(WorkerCall& call) {
    std::lock_guard lock(call.box_mutex);
    call.abandoned = true;
    if (call.box) PostMessageA(call.box, WM_COMMAND, IDOK, 0);
}

// Main thread: the owner is decided here, where the window's activation is known, and the box
// goes up on a thread of its own. Owned by the active main window it keeps that window disabled
// until OK, as a modal box does; otherwise it stands alone and the window works on.
void show_box_for(const std::shared_ptr<WorkerCall>& call, std::string title, std::string text,
                  int flags) {
    HWND owner = box_owner();
    std::thread([call, owner, title = std::move(title), text = std::move(text), flags] {
        box_being_shown = call.get();
        HHOOK hook = SetWindowsHookExA(WH_CBT, &note_box_window, nullptr, GetCurrentThreadId());
        MessageBoxA(owner, text.c_str(), title.c_str(), static_cast<UINT>(flags));
        if (hook) UnhookWindowsHookEx(hook);
        call->done.raise();
    }).detach();
}

int message_box_handler(std::string_view title, std::string_view text, int flags) {
    std::string title_copy(title.substr(0, title.find('\0')));
    std::string text_copy(text.substr(0, text.find('\0')));
    if (on_main_thread()) {
        return MessageBoxA(box_owner(), text_copy.c_str(), title_copy.c_str(),
                           static_cast<UINT>(flags));
    }
    auto call = call_main_thread([title = std::move(title_copy), text = std::move(text_copy),
                                  flags](const std::shared_ptr<WorkerCall>& call) {
        show_box_for(call, title, text, flags);
    });
    if (!call) return 0;
    if (wait_for_main_thread(call)) return IDOK;
    abandon_box(*call);  // stopped while the box is up: nobody waits for its answer any more
    return 0;
}

}  // namespace

bool start_worker_calls() {
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = &doorbell_proc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = doorbell_class;
    RegisterClassA(&window_class);  // fails harmlessly when a second start finds it registered
    HWND doorbell = CreateWindowExA(0, doorbell_class, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
    if (!doorbell) return false;
    {
        std::lock_guard lock(calls.mutex);
        calls.doorbell = doorbell;
        calls.main_thread = GetCurrentThreadId();
    }
    install_ui_calls({&status_text_handler, &message_box_handler});
    return true;
}

void release_worker_calls() {
    install_ui_calls({});
    std::lock_guard lock(calls.mutex);
    if (!calls.doorbell) return;
    for (const auto& call : calls.waiting) {
        abandon_box(*call);
        call->done.raise();
    }
    calls.waiting.clear();
    calls.posted.clear();  // drops the calls still waiting for the main thread
    if (GetCurrentThreadId() == calls.main_thread) {
        DestroyWindow(calls.doorbell);
        calls.doorbell = nullptr;
    }
}
