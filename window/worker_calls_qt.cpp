// The calls from the worker on Qt: set_status_text and message_box made on the main thread. The
// worker posts each call to a locked queue, rings a doorbell that the main thread's loop watches
// and waits until the call is done or a stop is requested for it, so another thread never calls
// into Qt and Quit never waits on a worker that waits for the window.
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "runtime/ui_calls.h"
#include "runtime/wake_signal.h"
#include "window/window_layer_qt.h"

namespace {

constexpr int idok = 1;  // what a one-button box returns however it was dismissed

// A call another thread asked the main thread to make; it waits on `done`.
struct MainThreadCall {
    WakeSignal done;
};

void run_posted_jobs();

// Watches the doorbell on the main thread and runs what was posted.
class CallsHub final : public QObject {
  public:
    CallsHub()
        : bell_watch_(static_cast<qintptr>(doorbell.native_handle().value), QSocketNotifier::Read,
                      this) {
        connect(&bell_watch_, &QSocketNotifier::activated, this, [this] {
            doorbell.lower();
            run_posted_jobs();
        });
    }

    WakeSignal doorbell;  // declared before bell_watch_, which watches its handle

  private:
    QSocketNotifier bell_watch_;
};

// Only `hub`, `posted` and `calls` are touched by other threads, under `mutex`, so every
// hand-over passes a lock that ThreadSanitizer sees, unlike Qt's own.
struct WorkerCalls {
    std::mutex mutex;
    CallsHub* hub = nullptr;
    std::deque<std::function<void()>> posted;
    std::vector<std::shared_ptr<MainThreadCall>> calls;

    std::map<const MainThreadCall*, QPointer<QMessageBox>> boxes;  // main thread only
    QPointer<QMessageBox> main_thread_box;  // the box a main-thread call waits in, if any
};

WorkerCalls worker_calls;

// Main thread: runs the jobs other threads posted, oldest first, each outside the lock.
void run_posted_jobs() {
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard lock(worker_calls.mutex);
            if (worker_calls.posted.empty()) return;
            job = std::move(worker_calls.posted.front());
            worker_calls.posted.pop_front();
        }
        job();
    }
}

// Queues job and wakes the main thread's loop for it. Caller holds the mutex and has seen a hub.
void post_locked(std::function<void()> job) {
    worker_calls.posted.push_back(std::move(job));
    worker_calls.hub->doorbell.raise();
}

// Hands job to the main thread's loop without waiting. False when the layer is not running.
bool post_to_main_thread(std::function<void()> job) {
    std::lock_guard lock(worker_calls.mutex);
    if (!worker_calls.hub) return false;
    post_locked(std::move(job));
    return true;
}

// Hands job to the main thread; the caller then waits with wait_for_main_thread until the job
// raises the call's signal. Null when the layer is not running (nothing was posted).
std::shared_ptr<MainThreadCall> call_main_thread(
    std::function<void(const std::shared_ptr<MainThreadCall>&)> job) {
    auto call = std::make_shared<MainThreadCall>();
    std::lock_guard lock(worker_calls.mutex);
    if (!worker_calls.hub) return nullptr;
    worker_calls.calls.push_back(call);
    post_locked([call, job = std::move(job)] { job(call); });
    return call;
}

// True when the main thread finished the call, false when a stop request ended the wait.
bool wait_for_main_thread(const std::shared_ptr<MainThreadCall>& call) {
    const bool done = call->done.wait();
    std::lock_guard lock(worker_calls.mutex);
    std::erase(worker_calls.calls, call);
    return done;
}

// Calls from the worker hand over plain std::string copies and build the QStrings on the main
// thread, so no implicitly shared Qt data is ever counted from two threads.
void status_text_handler(int bar, int field, std::string_view text) {
    if (on_main_thread()) {
        set_status_bar_field(bar, field, qtext(text));
        return;
    }
    auto call = call_main_thread(
        [bar, field, text = std::string(text)](const std::shared_ptr<MainThreadCall>& call) {
            set_status_bar_field(bar, field, qtext(text));
            call->done.raise();
        });
    if (call) wait_for_main_thread(call);
}

// A box is owned by the program's window that is active when it comes up, and is then modal to
// it. With none of ours active it stands alone and blocks nothing: a box that waits in the
// background for its OK must not freeze the window's fields, Quit or the close box.
QMessageBox* new_box(const QString& title, const QString& text) {
    QWidget* owner = QApplication::activeWindow();
    auto* box = new QMessageBox(QMessageBox::NoIcon, title, text, QMessageBox::Ok, owner);
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(owner ? Qt::WindowModal : Qt::NonModal);
    box->setObjectName(QStringLiteral("message_box"));
    return box;
}

// Only one-button (OK) boxes exist in the program, so the flags do not change the box.
int message_box_handler(std::string_view title, std::string_view text, int) {
    if (on_main_thread()) {
        QPointer<QMessageBox> box = new_box(qtext(title), qtext(text));
        worker_calls.main_thread_box = box;
        box->exec();
        delete box.data();
        return idok;
    }
    auto call = call_main_thread([title = std::string(title), text = std::string(text)](
                                     const std::shared_ptr<MainThreadCall>& call) {
        QMessageBox* box = new_box(qtext(title), qtext(text));
        worker_calls.boxes[call.get()] = box;
        QObject::connect(box, &QDialog::finished, worker_calls.hub, [call, box] {
            worker_calls.boxes.erase(call.get());
            call->done.raise();
            // Not from inside the box's own signal: delete it once control is back in the loop.
            QMetaObject::invokeMethod(
                worker_calls.hub, [box = QPointer<QMessageBox>(box)] { delete box.data(); },
                Qt::QueuedConnection);
        });
        box->show();
    });
    if (!call) return 0;
    if (wait_for_main_thread(call)) return idok;
    // Stopped while the box is up: take it down; nobody waits for its answer any more.
    post_to_main_thread([call] {
        auto found = worker_calls.boxes.find(call.get());
        if (found == worker_calls.boxes.end()) return;
        QPointer<QMessageBox> box = found->second;
        worker_calls.boxes.erase(found);
        delete box.data();
    });
    return 0;
}

}  // namespace

int start_worker_calls() {
    {
        std::lock_guard lock(worker_calls.mutex);
        if (!worker_calls.hub) {
            auto hub = std::make_unique<CallsHub>();
            // Without its doorbell the main thread would never run a call, and every status text
            // from the worker would wait for ever.
            if (!hub->doorbell.ready()) return 0;
            worker_calls.hub = hub.release();
        }
    }
    install_ui_calls({&status_text_handler, &message_box_handler});
    return 1;
}

void dismiss_main_thread_box() {
    if (QMessageBox* box = worker_calls.main_thread_box) box->done(QMessageBox::Ok);
}

void release_worker_calls() {
    install_ui_calls({});
    if (!on_main_thread()) return;

    std::lock_guard lock(worker_calls.mutex);
    const auto boxes =
        std::exchange(worker_calls.boxes, {});  // a box's last signals may still reach the map
    for (const auto& [call, box] : boxes) delete box.data();
    for (const auto& call : worker_calls.calls) call->done.raise();
    worker_calls.calls.clear();
    worker_calls.posted.clear();  // drops the calls still waiting for the main thread
    delete worker_calls.hub;
    worker_calls.hub = nullptr;
}
