// What the window tests share: the program's own window started as the program starts it, and
// typing, clicking and box answering done the way a user does them.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <vector>

class QLineEdit;
class QMessageBox;
class QWidget;

// start_up() in a fresh temporary working directory (the logs land there); fails the test when
// the window does not come up or cannot take the keyboard focus.
class ProgramWindow {
  public:
    ProgramWindow();
    ~ProgramWindow();  // releases the window layer and goes back to the previous directory
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;

    bool started() const { return started_; }
    QString dir() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
    QString previous_dir_;
    bool started_ = false;
};

QWidget* main_window_widget();
QWidget* gadget_widget_of(int id);
QLineEdit* address_box(int index);  // 0..3
// The gadget id of the widget that has the keyboard focus, -1 for none.
int focused_gadget();

// A mouse click in the middle of the widget.
void click(QWidget* widget);
// Keys to whichever widget has the focus, one at a time, as typing does: '\b' is Backspace,
// '<' and '>' the Left and Right arrows, '^' a Shift pressed alone.
void type_keys(const QString& keys);
// Ctrl+A and Backspace in the focused field.
void clear_focused_field();
// Clicks into the field and replaces its content by typing.
void retype_field(int gadget, const QString& keys);

// Closes window 0 (the close box) and runs the program's event loop over everything queued
// until then; the loop returns at that close event.
void run_event_loop_over_queued_events();

struct GadgetEvent {
    int code;
    int gadget;
    int type;
};
// Closes window 0 and takes every event queued before that close from wait_window_event.
std::vector<GadgetEvent> take_queued_events();

// The message box on screen, null when none is.
QMessageBox* visible_box();

// Answers the next modal box shown on the main thread with OK, noting its title and text.
struct BoxAnswer {
    int shown = 0;
    QString title;
    QString text;
};
void answer_next_box(BoxAnswer& answer);
