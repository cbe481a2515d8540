// The window tests' shared setup and user actions.
#include "app_test_env.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/start_up.h"
#include "window/gadgets.h"
#include "window/window_handle_qt.h"

ProgramWindow::ProgramWindow() : previous_dir_(QDir::currentPath()) {
    if (!dir_.isValid() || !QDir::setCurrent(dir_.path())) return;
    if (!start_up()) return;
    QWidget* window = main_window_widget();
    window->activateWindow();
    started_ = QTest::qWaitForWindowActive(window);
}

ProgramWindow::~ProgramWindow() {
    release_window_layer();
    QDir::setCurrent(previous_dir_);
}

QWidget* main_window_widget() {
    return qt_widget(window_handle(main_window));
}

QWidget* gadget_widget_of(int id) {
    QWidget* window = main_window_widget();
    return window ? window->findChild<QWidget*>(QStringLiteral("gadget%1").arg(id)) : nullptr;
}

QLineEdit* address_box(int index) {
    return gadget_widget_of(address_gadget)
        ->findChild<QLineEdit*>(QStringLiteral("box%1").arg(index));
}

int focused_gadget() {
    for (QWidget* widget = QApplication::focusWidget(); widget; widget = widget->parentWidget()) {
        const QString name = widget->objectName();
        if (name.startsWith(QStringLiteral("gadget"))) return name.mid(6).toInt();
    }
    return -1;
}

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

void type_keys(const QString& keys) {
    for (QChar key : keys) {
        QWidget* focus = QApplication::focusWidget();
        if (key == QLatin1Char('\b'))
            QTest::keyClick(focus, Qt::Key_Backspace);
        else if (key == QLatin1Char('<'))
            QTest::keyClick(focus, Qt::Key_Left);
        else if (key == QLatin1Char('>'))
            QTest::keyClick(focus, Qt::Key_Right);
        else if (key == QLatin1Char('^'))
            QTest::keyClick(focus, Qt::Key_Shift);
        else
            QTest::keyClick(focus, key.toLatin1());
    }
}

void clear_focused_field() {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
}

void retype_field(int gadget, const QString& keys) {
    click(gadget == address_gadget ? address_box(0) : gadget_widget_of(gadget));
    if (gadget != address_gadget) clear_focused_field();
    type_keys(keys);
}

void run_event_loop_over_queued_events() {
    main_window_widget()->close();
    event_loop();
}

std::vector<GadgetEvent> take_queued_events() {
    main_window_widget()->close();
    std::vector<GadgetEvent> events;
    for (;;) {
        const int code = wait_window_event();
        if (code == close_window_event) return events;
        events.push_back({code, event_gadget(), event_type()});
    }
}

QMessageBox* visible_box() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) return box;
    }
    return nullptr;
}

void answer_next_box(BoxAnswer& answer) {
    // Runs inside the box's own modal loop, once the box is up.
    QTimer::singleShot(0, qApp, [&answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        ++answer.shown;
        answer.title = box->windowTitle();
        answer.text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
}
