// The IPv4 address control: four boxes of 0..255 with dots between, typed like the platform's
// own address control. A dot or a box's third digit moves on to the next box, Backspace in an
// empty box and the arrow keys at a box's edge move between boxes, and the four boxes are a
// single stop in the window's Tab order.
#pragma once

#include <QFrame>
#include <QString>
#include <array>

class QLabel;
class QLineEdit;

class IpAddressField : public QFrame {
    Q_OBJECT

  public:
    explicit IpAddressField(QWidget* parent);

    // Dotted decimal, boxes in on-screen order, a blank box reading 0: "0.0.0.0" when blank.
    QString dotted_text() const;

  signals:
    // Once per edit of any box (each keystroke or paste that changes a box).
    void changed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    void box_edited(int index);
    void enter_box(int index, bool at_end);

    std::array<QLineEdit*, 4> boxes_{};
    std::array<QLabel*, 3> dots_{};
    // True between a third digit moving the caret on and the next key: a dot typed then only
    // confirms the move ("127.0.0.1" typed in full fills four boxes, not five).
    bool moved_on_by_digit_ = false;
};
