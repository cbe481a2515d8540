// The main window as the user meets it: its gadgets, Tab order, fields that set the settings, and
// Run refused without a password.
#include "app/main_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "app_test_env.h"
#include "settings/settings.h"
#include "window/gadgets.h"

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void gadgetHasItsPlaceTextAndTooltip_data();
    void gadgetHasItsPlaceTextAndTooltip();
    void windowHasTitleClientAreaPositionAndCloseBoxOnly();
    void tabWalksGadgetsInCreationOrderBothWays();
    void tabSkipsRunOnceHidden();
    void typingSetsTheSetting_data();
    void typingSetsTheSetting();
    void eachKeystrokeGivesOneChangeEvent();
    void runWithoutPasswordShowsErrorAndStartsNothing_data();
    void runWithoutPasswordShowsErrorAndStartsNothing();
};

void MainWindowTest::gadgetHasItsPlaceTextAndTooltip_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tooltip");
    QTest::newRow("0 Run") << 0 << "QPushButton" << QRect(20, 160, 60, 30) << "Run"
                           << "Start collecting data from the router";
    QTest::newRow("1 Quit") << 1 << "QPushButton" << QRect(110, 160, 60, 30) << "Quit"
                            << "Leave KelvaStats";
    QTest::newRow("2 address") << 2 << "IpAddressField" << QRect(20, 30, 110, 20) << "0.0.0.0"
                               << "";
    QTest::newRow("3 label") << 3 << "QLabel" << QRect(20, 10, 150, 13)
                             << "Router IP Address             Port"
                             << "";
    QTest::newRow("4 label") << 4 << "QLabel" << QRect(20, 60, 100, 20) << "Router Password"
                             << "";
    QTest::newRow("5 password") << 5 << "QLineEdit" << QRect(20, 80, 150, 20) << ""
                                << "";
    QTest::newRow("6 interval") << 6 << "QLineEdit" << QRect(20, 130, 20, 20) << "1"
                                << "";
    QTest::newRow("10 alarm") << 10 << "QLineEdit" << QRect(120, 130, 50, 20) << "0"
                              << "";
    QTest::newRow("7 label") << 7 << "QLabel" << QRect(20, 110, 70, 20) << "Interval(Min)"
                             << "";
    QTest::newRow("9 label") << 9 << "QLabel" << QRect(95, 110, 110, 20) << "Alarm (CRC/Int)"
                             << "";
    QTest::newRow("11 port") << 11 << "QLineEdit" << QRect(140, 30, 30, 20) << "23"
                             << "";
}

void MainWindowTest::gadgetHasItsPlaceTextAndTooltip() {
    QFETCH(int, id);
    QFETCH(QString, kind);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, tooltip);
    ProgramWindow program;
    QVERIFY(program.started());

    QWidget* gadget = gadget_widget_of(id);
    QVERIFY(gadget);
    QCOMPARE(QString(gadget->metaObject()->className()), kind);
    QCOMPARE(gadget->geometry(), geometry);
    QCOMPARE(QString::fromStdString(gadget_text(id)), text);
    QCOMPARE(gadget->toolTip(), tooltip);
    QVERIFY(gadget->isVisible());
    if (id == address_gadget) {
        for (int box = 0; box < 4; ++box) QVERIFY(address_box(box)->text().isEmpty());
    }
    QVERIFY(!gadget_widget_of(8));
}

void MainWindowTest::windowHasTitleClientAreaPositionAndCloseBoxOnly() {
    ProgramWindow program;
    QVERIFY(program.started());
    QWidget* window = main_window_widget();
    QCOMPARE(window->windowTitle(), QStringLiteral("KelvaStats 4.4"));
    QCOMPARE(window->size(), QSize(200, 233));
    QCOMPARE(window->pos(), QPoint(216, 0));
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowTitleHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(window->minimumSize() != window->maximumSize());  // the frame can be sized

    auto* bar = window->findChild<QStatusBar*>();
    QVERIFY(bar && bar->isVisible());
    QCOMPARE(bar->geometry().bottom(), window->height() - 1);
    QCOMPARE(bar->width(), window->width());
    QVERIFY(window->findChild<QLabel*>(QStringLiteral("statusfield0"))->text().isEmpty());
}

void MainWindowTest::tabWalksGadgetsInCreationOrderBothWays() {
    ProgramWindow program;
    QVERIFY(program.started());
    const QList<int> order{run_gadget,      quit_gadget,  address_gadget, password_gadget,
                           interval_gadget, alarm_gadget, port_gadget,    run_gadget};
    gadget_widget_of(run_gadget)->setFocus();
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focused_gadget(), order[i]);
    }
    for (int i = order.size() - 2; i >= 0; --i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(focused_gadget(), order[i]);
    }
    // The four address boxes are one stop: leaving from an inner box goes to the neighbours.
    click(address_box(2));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(focused_gadget(), quit_gadget);
    click(address_box(2));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(focused_gadget(), password_gadget);
}

void MainWindowTest::tabSkipsRunOnceHidden() {
    ProgramWindow program;
    QVERIFY(program.started());
    hide_gadget(run_gadget, 1);
    QVERIFY(!gadget_widget_of(run_gadget)->isVisible());
    gadget_widget_of(port_gadget)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(focused_gadget(), quit_gadget);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(focused_gadget(), port_gadget);
}

// The setting a field writes, as text.
static QString setting_of(int gadget) {
    switch (gadget) {
        case password_gadget:
            return QString::fromStdString(settings.password.get());
        case interval_gadget:
            return QString::number(settings.interval_ms.load());
        case alarm_gadget:
            return QString::number(settings.alarm_threshold.load());
        case address_gadget:
            return QString::fromStdString(settings.router_address.get());
        case port_gadget:
            return QString::number(settings.port.load());
    }
    return {};
}

void MainWindowTest::typingSetsTheSetting_data() {
    QTest::addColumn<int>("gadget");
    QTest::addColumn<QString>("keys");  // typed after the field was emptied; '\b' is Backspace
    QTest::addColumn<QString>("setting");
    QTest::newRow("interval 5 minutes") << interval_gadget << "5"
                                        << "300000";
    QTest::newRow("interval emptied") << interval_gadget << ""
                                      << "0";
    QTest::newRow("interval 0 minutes") << interval_gadget << "0"
                                        << "0";
    QTest::newRow("interval largest that fits") << interval_gadget << "35791"
                                                << "2147460000";
    QTest::newRow("interval one more is held at the top") << interval_gadget << "35792"
                                                          << "2147483647";
    QTest::newRow("interval 99999 is held at the top") << interval_gadget << "99999"
                                                       << "2147483647";
    QTest::newRow("interval refuses letters") << interval_gadget << "a5b"
                                              << "300000";
    QTest::newRow("alarm") << alarm_gadget << "12"
                           << "12";
    QTest::newRow("port") << port_gadget << "2323"
                          << "2323";
    QTest::newRow("port refuses minus") << port_gadget << "-7"
                                        << "7";
    QTest::newRow("password") << password_gadget << "secret"
                              << "secret";
    QTest::newRow("password typed and deleted") << password_gadget << "se\b\b"
                                                << "";
    QTest::newRow("address typed in full") << address_gadget << "127.0.0.1"
                                           << "127.0.0.1";
    QTest::newRow("address first box only") << address_gadget << "10"
                                            << "10.0.0.0";
}

void MainWindowTest::typingSetsTheSetting() {
    QFETCH(int, gadget);
    QFETCH(QString, keys);
    QFETCH(QString, setting);
    ProgramWindow program;
    QVERIFY(program.started());

    retype_field(gadget, keys);
    run_event_loop_over_queued_events();
    QCOMPARE(setting_of(gadget), setting);
    QCOMPARE(settings.last_event.load(), close_window_event);
}

void MainWindowTest::eachKeystrokeGivesOneChangeEvent() {
    ProgramWindow program;
    QVERIFY(program.started());
    click(gadget_widget_of(port_gadget));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    type_keys(QStringLiteral("45\b"));
    click(address_box(0));
    type_keys(QStringLiteral("12.3"));  // the dot moves on and changes nothing

    const std::vector<GadgetEvent> events = take_queued_events();
    QCOMPARE(events.size(), std::size_t{6});
    for (std::size_t i = 0; i < events.size(); ++i) {
        QCOMPARE(events[i].code, gadget_event);
        QCOMPARE(events[i].gadget, i < 3 ? port_gadget : address_gadget);
        QCOMPARE(events[i].type, content_changed);
    }
    QCOMPARE(event_type(), -1);  // after the close event
}

void MainWindowTest::runWithoutPasswordShowsErrorAndStartsNothing_data() {
    QTest::addColumn<QString>("password_keys");
    QTest::newRow("never typed") << "";
    QTest::newRow("typed and deleted") << "ab\b\b";
}

void MainWindowTest::runWithoutPasswordShowsErrorAndStartsNothing() {
    QFETCH(QString, password_keys);
    ProgramWindow program;
    QVERIFY(program.started());
    retype_field(password_gadget, password_keys);
    click(gadget_widget_of(run_gadget));

    BoxAnswer answer;
    answer_next_box(answer);
    run_event_loop_over_queued_events();
    QCOMPARE(answer.shown, 1);
    QCOMPARE(answer.title, QStringLiteral("Error"));
    QCOMPARE(answer.text, QStringLiteral("Please enter a password before running"));
    QCOMPARE(settings.worker_started.load(), 0);
    QVERIFY(settings.worker_thread.load() == nullptr);
    QVERIFY(gadget_widget_of(run_gadget)->isVisible());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
