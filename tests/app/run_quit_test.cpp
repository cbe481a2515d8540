// Run, Quit, the close box and program end with a real worker collecting from the simulated router
// on loopback; the process exit is replaced by a recorder.
#include "app/run_quit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/program_end.h"
#include "app_test_env.h"
#include "collect/threads.h"
#include "runtime/file_layer.h"
#include "settings/settings.h"
#include "stats/pending_lines.h"
#include "stats/status_line.h"
#include "tools/router_sim.h"
#include "window/gadgets.h"

namespace {

// A stop must end the program this fast wherever the worker is.
constexpr qint64 prompt_end_ms = 500;
constexpr int collection_timeout_ms = 15000;

std::atomic<bool> exited{false};
std::atomic<int> exit_status{-1};
std::atomic<bool> exited_on_main_thread{false};
std::thread::id main_thread_id;

void record_exit(int status) {
    exit_status = status;
    exited_on_main_thread = std::this_thread::get_id() == main_thread_id;
    exited = true;
}

QString status_text() {
    QWidget* window = main_window_widget();
    auto* field = window ? window->findChild<QLabel*>(QStringLiteral("statusfield0")) : nullptr;
    return field ? field->text() : QString();
}

// Lines of a log that begin with a date: the collections, not the header lines.
int data_lines(const QString& name) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    int count = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.size() > 8 && line[2] == '/' && line[5] == '/') ++count;
    }
    return count;
}

bool ends_with_whole_line(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) && file.readAll().endsWith("\r\n");
}

// Fills in the router's address first, so Run can never reach the default address.
bool point_at_loopback(std::uint16_t port, const QString& password) {
    retype_field(address_gadget, QStringLiteral("127.0.0.1"));
    retype_field(port_gadget, QString::number(port));
    retype_field(password_gadget, password);
    run_event_loop_over_queued_events();
    return settings.router_address.get() == "127.0.0.1" && settings.port.load() == port;
}

void worker_writes_then_ends(std::int32_t) {
    open_file(3, "unflushed.txt");
    write_string(3, "still in the buffer");
    program_end();
}

}  // namespace

class RunQuitTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void runCollectsUntilTheProgramEndsPromptly_data();
    void runCollectsUntilTheProgramEndsPromptly();
    void quitWhileWorkerWaitsForItsBoxEndsPromptly();
    void refusedPasswordIsShownAndNothingIsLogged();
    void programEndOnWorkerThreadWritesOutFilesAndExitsZero();
};

void RunQuitTest::initTestCase() {
    main_thread_id = std::this_thread::get_id();
}

void RunQuitTest::init() {
    exited = false;
    exit_status = -1;
    set_process_exit(&record_exit);
    reset_pending_log_lines();
    reset_collection_status();
}

void RunQuitTest::cleanup() {
    set_process_exit(nullptr);
}

void RunQuitTest::runCollectsUntilTheProgramEndsPromptly_data() {
    QTest::addColumn<bool>("by_close_box");
    QTest::newRow("Quit") << false;
    QTest::newRow("close box") << true;
}

void RunQuitTest::runCollectsUntilTheProgramEndsPromptly() {
    QFETCH(bool, by_close_box);
    ProgramWindow program;
    QVERIFY(program.started());
    RouterSim router;
    QVERIFY2(router.start(), router.error().c_str());
    QVERIFY(point_at_loopback(router.port(), QStringLiteral("secret")));

    click(gadget_widget_of(run_gadget));
    run_event_loop_over_queued_events();
    QCOMPARE(settings.worker_started.load(), 1);
    ThreadRecord* worker = settings.worker_thread.load();
    QVERIFY(worker && thread_running(worker));
    QVERIFY(!gadget_widget_of(run_gadget)->isVisible());
    run_action();  // a second Run starts nothing
    QCOMPARE(settings.worker_thread.load(), worker);

    QTRY_VERIFY_WITH_TIMEOUT(status_text().startsWith(QStringLiteral("Collection: ")),
                             collection_timeout_ms);
    QVERIFY(status_text().contains(QStringLiteral("   DeltaCRC: ")));
    // With the bins line written the worker is in its one-minute wait.
    QTRY_COMPARE_WITH_TIMEOUT(data_lines(QStringLiteral("kelvabins.csv")), 1,
                              collection_timeout_ms);

    QElapsedTimer ending;
    ending.start();
    if (by_close_box) {
        main_window_widget()->close();
        event_loop();
        QVERIFY(!exited);  // the close box only ends the loop; the caller ends the program
        program_end();
    } else {
        click(gadget_widget_of(quit_gadget));
        event_loop();
    }
    QVERIFY(exited);
    QVERIFY(ending.elapsed() < prompt_end_ms);
    QCOMPARE(exit_status.load(), 0);
    QVERIFY(exited_on_main_thread);
    QVERIFY(!window_handle(main_window));
    QCOMPARE(router.collections(), 1);
    QCOMPARE(data_lines(QStringLiteral("kelvastats.csv")), 1);
    QVERIFY(ends_with_whole_line(QStringLiteral("kelvastats.csv")));
    QCOMPARE(data_lines(QStringLiteral("kelvabins.csv")), 1);
    QVERIFY(ends_with_whole_line(QStringLiteral("kelvabins.csv")));
}

void RunQuitTest::quitWhileWorkerWaitsForItsBoxEndsPromptly() {
    ProgramWindow program;
    QVERIFY(program.started());
    std::uint16_t closed_port = 0;
    {
        RouterSim gone;
        QVERIFY(gone.start());
        closed_port = gone.port();
    }
    QVERIFY(point_at_loopback(closed_port, QStringLiteral("secret")));
    click(gadget_widget_of(run_gadget));
    run_event_loop_over_queued_events();
    QTRY_VERIFY_WITH_TIMEOUT(visible_box(), collection_timeout_ms);
    QCOMPARE(visible_box()->text(), QStringLiteral("Can't find the server"));

    // The box holds the main window, so only a stop from inside the program can come now.
    QElapsedTimer ending;
    ending.start();
    quit_action();
    QVERIFY(exited);
    QVERIFY(ending.elapsed() < prompt_end_ms);
    QCOMPARE(exit_status.load(), 0);
    QVERIFY(!visible_box());
}

void RunQuitTest::refusedPasswordIsShownAndNothingIsLogged() {
    QFile::remove(QStringLiteral("kelvastats.csv"));
    QFile::remove(QStringLiteral("kelvabins.csv"));
    ProgramWindow program;
    QVERIFY(program.started());
    RouterSim router;
    QVERIFY2(router.start(), router.error().c_str());
    QVERIFY(point_at_loopback(router.port(), QStringLiteral("wrong")));
    click(gadget_widget_of(run_gadget));
    run_event_loop_over_queued_events();
    QTRY_VERIFY_WITH_TIMEOUT(
        status_text().endsWith(QStringLiteral(" Login refused: check the password")),
        collection_timeout_ms);
    QVERIFY(router.wait_for_sessions_ended(1));
    QCOMPARE(router.sessions()[0].received, std::string("wrong\r"));
    QCOMPARE(router.collections(), 0);
    click(gadget_widget_of(quit_gadget));
    event_loop();
    QVERIFY(exited);
    QVERIFY(!QFile::exists(QStringLiteral("kelvastats.csv")));
    QVERIFY(!QFile::exists(QStringLiteral("kelvabins.csv")));
}

void RunQuitTest::programEndOnWorkerThreadWritesOutFilesAndExitsZero() {
    ProgramWindow program;
    QVERIFY(program.started());
    QVERIFY(start_thread(&worker_writes_then_ends, 0));
    QTRY_VERIFY(exited);
    QCOMPARE(exit_status.load(), 0);
    QVERIFY(!exited_on_main_thread);
    QFile file(QStringLiteral("unflushed.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("still in the buffer"));
}

QTEST_MAIN(RunQuitTest)
#include "run_quit_test.moc"
