// The window layer's own promises: the address control, the field flags, the close box, the status
// bar, and the two calls other threads make, which must never hang a thread that is being stopped.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolTip>
#include <atomic>
#include <thread>

#include "app_test_env.h"
#include "collect/threads.h"
#include "runtime/ui_calls.h"
#include "tests/support/no_free_descriptors.h"
#include "window/gadgets.h"
#include "window/window_handle_qt.h"

namespace {

constexpr int window_id = 0;
constexpr int field_id = 1;

QLineEdit* box_of(int index) {
    return qt_widget(window_handle(window_id))
        ->findChild<QLineEdit*>(QStringLiteral("box%1").arg(index));
}

// What the worker-like threads below saw.
std::atomic<int> box_result{-1};
std::atomic<bool> call_returned{false};

void box_entry(std::int32_t) {
    box_result = message_box("KelvaStats", "Can't find the server", 0);
    call_returned = true;
}

void status_entry(std::int32_t) {
    set_status_text(0, 0, "Collection: 12:00   DeltaCRC: 3");
    call_returned = true;
}

}  // namespace

class WindowLayerTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void addressFieldReadsAsDottedText_data();
    void addressFieldReadsAsDottedText();
    void digitsOnlyFieldRefusesLettersTypedOrPasted();
    void passwordFieldShowsMaskButReadsRealText();
    void closeBoxQueuesOneCloseEventAndKeepsWindow();
    void statusBarFollowsTheWindowsSize();
    void statusTextFromAnotherThreadIsSetWhenTheCallReturns();
    void messageBoxFromAnotherThreadHoldsItUntilOk();
    void threadWaitingForItsBoxEndsOnStopAndTheBoxGoes();
    void threadWaitingForStatusTextEndsOnStopWhileMainThreadWaitsForIt();
    void boxWhileNoWindowOfOursIsActiveStandsAloneAndBlocksNothing();
    void tooltipShowsWhileTheWindowIsNotActive();
    void layerWithoutItsWakeUpDoesNotStart();
};

void WindowLayerTest::init() {
    box_result = -1;
    call_returned = false;
    QVERIFY(start_window_layer());
    QVERIFY(open_window(window_id, 100, 50, 200, 120, "Layer",
                        ws_caption | ws_sysmenu | ws_thickframe));
    QWidget* window = qt_widget(window_handle(window_id));
    QVERIFY(create_status_bar(0, handle_of(window)));
    QCOMPARE(create_gadget_list(handle_of(window)), handle_of(window));
    QVERIFY(ip_address_gadget(field_id, 10, 10, 110, 20));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

void WindowLayerTest::cleanup() {
    release_window_layer();
}

void WindowLayerTest::addressFieldReadsAsDottedText_data() {
    // Typed into the first box: '\b' Backspace, '<' '>' arrows, '^' Shift.
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("dotted");
    QTest::addColumn<int>("changes");
    QTest::newRow("blank") << ""
                           << "0.0.0.0" << 0;
    QTest::newRow("typed in full") << "127.0.0.1"
                                   << "127.0.0.1" << 6;
    QTest::newRow("first box only") << "10"
                                    << "10.0.0.0" << 2;
    QTest::newRow("two boxes") << "192.168"
                               << "192.168.0.0" << 6;
    QTest::newRow("third digit moves on without a dot") << "1231001991"
                                                        << "123.100.199.1" << 10;
    QTest::newRow("over 255 reads 255") << "300.1.2.3"
                                        << "255.1.2.3" << 6;
    QTest::newRow("shift before the dot") << "123^.45"
                                          << "123.45.0.0" << 5;
    QTest::newRow("leading zeros dropped") << "007.010.0.1"
                                           << "7.10.0.1" << 8;
    QTest::newRow("dot in an empty box moves on") << "1..3"
                                                  << "1.0.3.0" << 2;
    QTest::newRow("backspace in an empty box goes back") << "12.3\b\b\b"
                                                         << "1.0.0.0" << 5;
    QTest::newRow("arrows cross the dots") << "1.2<<9"
                                           << "19.2.0.0" << 3;
    QTest::newRow("no fifth box") << "1.2.3.4.5"
                                  << "1.2.3.45" << 5;
}

void WindowLayerTest::addressFieldReadsAsDottedText() {
    QFETCH(QString, keys);
    QFETCH(QString, dotted);
    QFETCH(int, changes);
    box_of(0)->setFocus();
    type_keys(keys);
    QCOMPARE(QString::fromStdString(gadget_text(field_id)), dotted);

    qt_widget(window_handle(window_id))->close();
    int seen = 0;
    while (wait_window_event() == gadget_event) {
        QCOMPARE(event_gadget(), field_id);
        QCOMPARE(event_type(), content_changed);
        ++seen;
    }
    QCOMPARE(seen, changes);
}

void WindowLayerTest::digitsOnlyFieldRefusesLettersTypedOrPasted() {
    QVERIFY(string_gadget(2, 10, 40, 50, 20, "1", es_number));
    auto* field =
        qt_widget(window_handle(window_id))->findChild<QLineEdit*>(QStringLiteral("gadget2"));
    field->setFocus();
    field->end(false);
    type_keys(QStringLiteral("x2 y-"));
    QCOMPARE(gadget_text(2), std::string("12"));

    QApplication::clipboard()->setText(QStringLiteral("5x"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(gadget_text(2), std::string("12"));
    QApplication::clipboard()->setText(QStringLiteral("34"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(gadget_text(2), std::string("1234"));
}

void WindowLayerTest::passwordFieldShowsMaskButReadsRealText() {
    QVERIFY(string_gadget(2, 10, 40, 50, 20, "", es_password));
    auto* field =
        qt_widget(window_handle(window_id))->findChild<QLineEdit*>(QStringLiteral("gadget2"));
    field->setFocus();
    type_keys(QStringLiteral("s3cret"));
    QCOMPARE(gadget_text(2), std::string("s3cret"));
    QVERIFY(!field->displayText().contains(QStringLiteral("s3cret")));
    QCOMPARE(field->displayText().size(), 6);
}

void WindowLayerTest::closeBoxQueuesOneCloseEventAndKeepsWindow() {
    QVERIFY(button_gadget(2, 10, 40, 60, 30, "Press"));
    QTest::mouseClick(
        qt_widget(window_handle(window_id))->findChild<QPushButton*>(QStringLiteral("gadget2")),
        Qt::LeftButton);
    QWidget* window = qt_widget(window_handle(window_id));
    window->close();
    window->close();  // twice before anyone looks: one event

    QCOMPARE(wait_window_event(), gadget_event);
    QCOMPARE(event_gadget(), 2);
    QCOMPARE(event_type(), button_clicked);
    QCOMPARE(wait_window_event(), close_window_event);
    QCOMPARE(event_type(), -1);
    QVERIFY(window->isVisible());

    QVERIFY(button_gadget(3, 80, 40, 60, 30, "Next"));
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("gadget3")), Qt::LeftButton);
    QCOMPARE(wait_window_event(), gadget_event);  // the second close was not queued
    QCOMPARE(event_gadget(), 3);
}

void WindowLayerTest::statusBarFollowsTheWindowsSize() {
    QWidget* window = qt_widget(window_handle(window_id));
    window->resize(300, 200);
    auto* bar = window->findChild<QStatusBar*>(QStringLiteral("statusbar0"));
    QCOMPARE(bar->width(), 300);
    QCOMPARE(bar->geometry().bottom(), 199);
}

void WindowLayerTest::statusTextFromAnotherThreadIsSetWhenTheCallReturns() {
    auto* field =
        qt_widget(window_handle(window_id))->findChild<QLabel*>(QStringLiteral("statusfield0"));
    QString text_at_return;
    // Read by the calling thread itself: a text still on its way to the main thread is missing.
    std::thread worker([field, &text_at_return] {
        set_status_text(0, 0, "Collection: 12:00   DeltaCRC: 3");
        text_at_return = field->text();
        call_returned = true;
    });
    QTRY_VERIFY(call_returned);
    worker.join();
    QCOMPARE(text_at_return, QStringLiteral("Collection: 12:00   DeltaCRC: 3"));
}

void WindowLayerTest::messageBoxFromAnotherThreadHoldsItUntilOk() {
    std::thread worker([] { box_entry(0); });
    QTRY_VERIFY(visible_box());
    QMessageBox* box = visible_box();
    QCOMPARE(box->windowTitle(), QStringLiteral("KelvaStats"));
    QCOMPARE(box->text(), QStringLiteral("Can't find the server"));
    QCOMPARE(box->buttons().size(), 1);
    QVERIFY(box->isModal());
    QCOMPARE(box->parentWidget(), qt_widget(window_handle(window_id)));
    QVERIFY(!call_returned);

    box->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(call_returned);
    worker.join();
    QCOMPARE(box_result.load(), 1);
    QTRY_VERIFY(!visible_box());
}

void WindowLayerTest::threadWaitingForItsBoxEndsOnStopAndTheBoxGoes() {
    ThreadRecord* worker = start_thread(&box_entry, 0);
    QVERIFY(worker);
    QTRY_VERIFY(visible_box());
    kill_thread(worker);  // the main thread handles no event until the worker has ended
    QVERIFY(call_returned);
    QCOMPARE(box_result.load(), 0);
    QTRY_VERIFY(!visible_box());
}

void WindowLayerTest::threadWaitingForStatusTextEndsOnStopWhileMainThreadWaitsForIt() {
    ThreadRecord* worker = start_thread(&status_entry, 0);
    QVERIFY(worker);
    kill_thread(worker);  // would never return if the worker waited for this thread's loop
    QVERIFY(call_returned);
}

void WindowLayerTest::boxWhileNoWindowOfOursIsActiveStandsAloneAndBlocksNothing() {
    QApplication::setActiveWindow(nullptr);  // the user works in another program
    QVERIFY(!QApplication::activeWindow());
    std::thread worker([] { box_entry(0); });
    QTRY_VERIFY(visible_box());
    QMessageBox* box = visible_box();
    QVERIFY(!box->parentWidget());
    QVERIFY(!box->isModal());
    QVERIFY(!QApplication::activeModalWidget());
    // The fields still take input while the box waits for its OK.
    box_of(0)->setFocus();
    QTest::keyClicks(box_of(0), "10");
    QCOMPARE(QString::fromStdString(gadget_text(field_id)), QStringLiteral("10.0.0.0"));

    box->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(call_returned);
    worker.join();
    QCOMPARE(box_result.load(), 1);
}

void WindowLayerTest::tooltipShowsWhileTheWindowIsNotActive() {
    set_gadget_tooltip(field_id, "Router address");
    QApplication::setActiveWindow(nullptr);
    QWidget* field = box_of(0)->parentWidget();
    QTest::mouseMove(field, QPoint(3, 3));  // the pointer comes to rest on the field
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), QStringLiteral("Router address"));
    QToolTip::hideText();
    // What lets a pointer resting on the field bring up its tooltip while another program is
    // active.
    QVERIFY(qt_widget(window_handle(window_id))->testAttribute(Qt::WA_AlwaysShowToolTips));
}

void WindowLayerTest::layerWithoutItsWakeUpDoesNotStart() {
    release_window_layer();
    {
        const NoFreeDescriptors no_descriptors;
        QVERIFY2(no_descriptors.active(), "could not use up the descriptors");
        QCOMPARE(start_window_layer(), 0);
    }
    QVERIFY(start_window_layer());
}

QTEST_MAIN(WindowLayerTest)
#include "window_layer_test.moc"
