// The four-box IPv4 address control of the window layer.
#include "window/ip_address_field.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStringList>

namespace {

constexpr int box_digits = 3;
constexpr int box_maximum = 255;

}  // namespace

IpAddressField::IpAddressField(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::NoFocus);

    auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (int i = 0; i < 4; ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("box%1").arg(i));
        box->setFrame(false);
        box->setAlignment(Qt::AlignCenter);
        box->setTextMargins(0, 0, 0, 0);
        box->setValidator(digits);
        // Only the first box is reached with Tab; the others by typing, the arrows or a click.
        box->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        box->installEventFilter(this);
        connect(box, &QLineEdit::textEdited, this, [this, i] { box_edited(i); });
        boxes_[i] = box;
    }
    for (auto& dot : dots_) {
        dot = new QLabel(QStringLiteral("."), this);
        dot->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        dot->setBackgroundRole(QPalette::Base);
    }
}

QString IpAddressField::dotted_text() const {
    QStringList parts;
    for (const QLineEdit* box : boxes_)
        parts << QString::number(box->text().toInt());  // "" reads 0
    return parts.join(QLatin1Char('.'));
}

void IpAddressField::box_edited(int index) {
    QLineEdit* box = boxes_[index];
    if (box->text().toInt() > box_maximum) box->setText(QString::number(box_maximum));
    emit changed();
    if (box->text().size() == box_digits && box->cursorPosition() == box_digits && index < 3) {
        enter_box(index + 1, false);
        moved_on_by_digit_ = true;
    }
}

void IpAddressField::enter_box(int index, bool at_end) {
    QLineEdit* box = boxes_[index];
    box->setFocus(Qt::OtherFocusReason);
    if (at_end) {
        box->deselect();
        box->end(false);
    } else {
        box->selectAll();
    }
}

bool IpAddressField::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
    int index = 0;
    while (index < 4 && boxes_[index] != watched) ++index;
    if (index == 4) return QFrame::eventFilter(watched, event);

    QLineEdit* box = boxes_[index];
    const auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
            return false;  // on some layouts the dot needs one of these first
        default:
            break;
    }
    const bool just_moved_on = moved_on_by_digit_;
    moved_on_by_digit_ = false;

    switch (key->key()) {
        case Qt::Key_Period:
            if (index < 3 && !(just_moved_on && box->text().isEmpty())) enter_box(index + 1, false);
            return true;  // a dot is never part of a box
        case Qt::Key_Backspace:
            if (box->text().isEmpty() && index > 0) {
                enter_box(index - 1, true);
                return true;
            }
            break;
        case Qt::Key_Left:
            if (box->cursorPosition() == 0 && !box->hasSelectedText() && index > 0) {
                enter_box(index - 1, true);
                return true;
            }
            break;
        case Qt::Key_Right:
            if (box->cursorPosition() == box->text().size() && !box->hasSelectedText() &&
                index < 3) {
                enter_box(index + 1, false);
                boxes_[index + 1]->deselect();
                boxes_[index + 1]->home(false);
                return true;
            }
            break;
        default:
            break;
    }
    return QFrame::eventFilter(watched, event);
}

void IpAddressField::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    const QRect inner = contentsRect();
    const int dot_width = fontMetrics().horizontalAdvance(QLatin1Char('.')) + 2;
    const int box_width = (inner.width() - 3 * dot_width) / 4;
    int x = inner.left();
    for (int i = 0; i < 4; ++i) {
        boxes_[i]->setGeometry(x, inner.top(), box_width, inner.height());
        x += box_width;
        if (i < 3) {
            dots_[i]->setGeometry(x, inner.top(), dot_width, inner.height() - 2);
            x += dot_width;
        }
    }
}

bool IpAddressField::focusNextPrevChild(bool next) {
    // Shift+Tab from an inner box leaves the control backwards, as Tab leaves it forwards: step
    // back from the first box, which is the control's place in the Tab order.
    if (!next) {
        for (int i = 1; i < 4; ++i) {
            if (boxes_[i]->hasFocus()) boxes_[0]->setFocus(Qt::BacktabFocusReason);
        }
    }
    return QFrame::focusNextPrevChild(next);
}
