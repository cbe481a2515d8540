// The window and gadget layer on Qt Widgets: windows, gadgets and status bars under integer ids,
// and the event queue that wait_window_event drains. The calls from the worker are in
// worker_calls_qt.cpp, the end of the session in session_end_qt.cpp.
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QThread>
#include <QWidget>
#include <deque>
#include <map>
#include <string>
#include <utility>

#include "window/gadgets.h"
#include "window/ip_address_field.h"
#include "window/window_handle_qt.h"
#include "window/window_icon_qt.h"
#include "window/window_layer_qt.h"

namespace {

// The gadgets' layout (label widths, 20-pixel fields, "Port" placed with blanks) is made for the
// platform's default GUI font: 11 pixels high, as wide as Arial. Fonts of Arial's metrics come
// first; where none is installed the font falls back to a wider one, and the layer then makes it
// smaller, down to the smallest size below, until the text of every label and button fits.
constexpr int gadget_font_pixels = 11;
constexpr int smallest_gadget_font_pixels = 8;

enum class GadgetKind { button, label, edit, address };

struct GadgetRecord {
    GadgetKind kind;
    QPointer<QWidget> widget;
};

struct StatusBarRecord {
    QPointer<QStatusBar> bar;
    QPointer<QLabel> field;  // field 0, the whole bar
};

struct QueuedEvent {
    int code;
    int window;
    int gadget;
    int type;
};

// Receives the windows' close and resize events.
class LayerHub final : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// The layer's state; main thread only.
struct Layer {
    std::map<int, QPointer<QWidget>> windows;
    std::map<int, GadgetRecord> gadgets;
    std::map<int, StatusBarRecord> status_bars;
    QPointer<QWidget> gadget_parent;
    std::deque<QueuedEvent> queue;
    int event_gadget = 0;
    int event_type = -1;
    LayerHub* hub = nullptr;
    QFont font;  // of every gadget and status bar
};

Layer layer;

}  // namespace

bool on_main_thread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

QString qtext(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void set_status_bar_field(int id, int field, const QString& text) {
    auto found = layer.status_bars.find(id);
    if (found == layer.status_bars.end() || field != 0 || !found->second.field) return;
    found->second.field->setText(text);
}

namespace {

std::string text_value(const QString& text) {
    return text.toUtf8().toStdString();
}

// Arial or a font made to its metrics (the first installed wins), else the system's own.
QFont preferred_gadget_font() {
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arimo"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Helvetica"), font.family()});
    font.setPixelSize(gadget_font_pixels);
    return font;
}

int window_id_of(const QObject* window) {
    for (const auto& [id, widget] : layer.windows) {
        if (widget == window) return id;
    }
    return -1;
}

void queue_event(int code, int window) {
    // A layer event equal to the newest one still queued is not queued twice.
    if (!layer.queue.empty() && layer.queue.back().code == code &&
        layer.queue.back().window == window)
        return;
    layer.queue.push_back({code, window, 0, -1});
}

void queue_gadget_event(QWidget* gadget, int id, int type) {
    layer.queue.push_back({gadget_event, window_id_of(gadget->window()), id, type});
}

void place_status_bars(const QWidget* window) {
    for (auto& [id, record] : layer.status_bars) {
        QStatusBar* bar = record.bar;
        if (!bar || bar->parentWidget() != window) continue;
        const int height = bar->sizeHint().height();
        bar->setGeometry(0, window->height() - height, window->width(), height);
    }
}

// The session ends: a box that a call on the main thread waits in is closed, so that the loop gets
// to the event.
void report_session_end() {
    dismiss_main_thread_box();
    queue_event(session_end_event, -1);
}

bool LayerHub::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close) {
        // Closing is the program's decision: report it and keep the window.
        event->ignore();
        queue_event(close_window_event, window_id_of(watched));
        return true;
    }
    if (event->type() == QEvent::Resize) place_status_bars(static_cast<QWidget*>(watched));
    return QObject::eventFilter(watched, event);
}

QWidget* gadget_widget(int id) {
    auto found = layer.gadgets.find(id);
    return found == layer.gadgets.end() ? nullptr : found->second.widget.data();
}

void destroy_gadget(int id) {
    auto found = layer.gadgets.find(id);
    if (found == layer.gadgets.end()) return;
    delete found->second.widget.data();
    layer.gadgets.erase(found);
}

// Gives a new control its id, font and place under the current gadget list's window.
int add_gadget(int id, GadgetKind kind, QWidget* widget, int x, int y, int width, int height) {
    widget->setObjectName(QStringLiteral("gadget%1").arg(id));
    widget->setFont(layer.font);
    widget->setGeometry(x, y, width, height);
    widget->show();
    layer.gadgets[id] = {kind, widget};
    return 1;
}

// Pixels the gadget has for its text: a label's contents, a button's inside its bevel.
int text_room(QWidget* gadget) {
    if (auto* button = qobject_cast<QPushButton*>(gadget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        return button->style()
            ->subElementRect(QStyle::SE_PushButtonContents, &option, button)
            .width();
    }
    return gadget->contentsRect().width();
}

// Makes the layer's font smaller until the gadget's text fits it, and gives the smaller font to
// every gadget and status bar made so far, so the window keeps one size of text.
void fit_font_to(QWidget* gadget, const QString& text) {
    const int room = text_room(gadget);
    QFont font = layer.font;
    while (QFontMetrics(font).horizontalAdvance(text) > room &&
           font.pixelSize() > smallest_gadget_font_pixels)
        font.setPixelSize(font.pixelSize() - 1);
    if (font.pixelSize() == layer.font.pixelSize()) return;
    layer.font = font;
    for (auto& [id, record] : layer.gadgets) {
        if (record.widget) record.widget->setFont(font);
    }
    for (auto& [id, record] : layer.status_bars) {
        if (!record.bar) continue;
        record.bar->setFont(font);
        place_status_bars(record.bar->parentWidget());
    }
}

}  // namespace

int start_window_layer() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) || !on_main_thread()) return 0;
    if (!start_worker_calls()) return 0;
    layer.font = preferred_gadget_font();
    if (!layer.hub) {
        layer.hub = new LayerHub;
        // Without the watch a logout ends the program as a signal does: everything else works.
        watch_session_end(layer.hub, &report_session_end);
    }
    QApplication::setWindowIcon(application_icon());
    return 1;
}

void release_window_layer() {
    release_worker_calls();
    if (!on_main_thread()) return;

    for (auto& [id, window] : layer.windows) delete window.data();
    layer.windows.clear();
    layer.gadgets.clear();
    layer.status_bars.clear();
    layer.gadget_parent = nullptr;
    layer.queue.clear();
    layer.event_gadget = 0;
    layer.event_type = -1;
    delete layer.hub;
    layer.hub = nullptr;
}

int open_window(int id, int x, int y, int width, int height, std::string_view title,
                std::uint32_t flags) {
    if (!layer.hub || !on_main_thread() || id < 0) return 0;
    if (auto old = layer.windows.find(id); old != layer.windows.end()) delete old->second.data();

    const bool starts_hidden = flags & ws_visible;
    flags &= ~(ws_visible | 3u);  // bits 0 and 1 ask for centring, which the program never does
    if (flags == 0) flags = ws_caption;

    Qt::WindowFlags frame = Qt::Window | Qt::CustomizeWindowHint;
    if ((flags & ws_caption) == ws_caption) frame |= Qt::WindowTitleHint;
    if (flags & ws_sysmenu) frame |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (flags & ws_minimizebox) frame |= Qt::WindowMinimizeButtonHint;
    if (flags & ws_maximizebox) frame |= Qt::WindowMaximizeButtonHint;

    auto* window = new QWidget(nullptr, frame);
    window->setObjectName(QStringLiteral("window%1").arg(id));
    window->setWindowTitle(qtext(title));
    window->setAutoFillBackground(true);
    window->setAttribute(
        Qt::WA_AlwaysShowToolTips);  // tooltips show while another window is active
    window->installEventFilter(layer.hub);
    window->resize(width, height);  // the client area; the frame comes on top of it
    if (!(flags & ws_thickframe)) window->setFixedSize(width, height);
    window->move(x, y);  // the frame's top-left corner
    layer.windows[id] = window;
    if (!starts_hidden) window->show();
    return 1;
}

WindowHandle window_handle(int id) {
    auto found = layer.windows.find(id);
    return found == layer.windows.end() ? nullptr : handle_of(found->second.data());
}

WindowHandle create_gadget_list(WindowHandle window) {
    layer.gadget_parent = qt_widget(window);
    return window;
}

int create_status_bar(int id, WindowHandle handle) {
    QWidget* window = qt_widget(handle);
    if (!window || !layer.hub || !on_main_thread()) return 0;
    if (auto old = layer.status_bars.find(id); old != layer.status_bars.end())
        delete old->second.bar.data();

    auto* bar = new QStatusBar(window);
    bar->setObjectName(QStringLiteral("statusbar%1").arg(id));
    bar->setFont(layer.font);
    bar->setSizeGripEnabled(window->minimumSize() != window->maximumSize());
    auto* field = new QLabel(bar);
    field->setObjectName(QStringLiteral("statusfield%1").arg(id));
    field->setTextFormat(Qt::PlainText);
    bar->addWidget(field, 1);
    layer.status_bars[id] = {bar, field};
    window->installEventFilter(layer.hub);
    place_status_bars(window);
    bar->show();
    return 1;
}

int button_gadget(int id, int x, int y, int width, int height, std::string_view text) {
    if (!layer.gadget_parent || !on_main_thread()) return 0;
    destroy_gadget(id);
    auto* button = new QPushButton(qtext(text), layer.gadget_parent);
    QObject::connect(button, &QPushButton::clicked, layer.hub,
                     [button, id] { queue_gadget_event(button, id, button_clicked); });
    add_gadget(id, GadgetKind::button, button, x, y, width, height);
    fit_font_to(button, button->text());
    return 1;
}

int text_gadget(int id, int x, int y, int width, int height, std::string_view text) {
    if (!layer.gadget_parent || !on_main_thread()) return 0;
    destroy_gadget(id);
    auto* label = new QLabel(qtext(text), layer.gadget_parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    add_gadget(id, GadgetKind::label, label, x, y, width, height);
    fit_font_to(label, label->text());
    return 1;
}

int string_gadget(int id, int x, int y, int width, int height, std::string_view text,
                  std::uint32_t flags) {
    if (!layer.gadget_parent || !on_main_thread()) return 0;
    destroy_gadget(id);
    auto* edit = new QLineEdit(qtext(text), layer.gadget_parent);
    if (flags & es_password) edit->setEchoMode(QLineEdit::Password);
    if (flags & es_number) {
        // Whole text checked, so a paste holding anything but digits is refused as a whole.
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
    QObject::connect(edit, &QLineEdit::textChanged, layer.hub,
                     [edit, id] { queue_gadget_event(edit, id, content_changed); });
    return add_gadget(id, GadgetKind::edit, edit, x, y, width, height);
}

int ip_address_gadget(int id, int x, int y, int width, int height) {
    if (!layer.gadget_parent || !on_main_thread()) return 0;
    destroy_gadget(id);
    auto* field = new IpAddressField(layer.gadget_parent);
    QObject::connect(field, &IpAddressField::changed, layer.hub,
                     [field, id] { queue_gadget_event(field, id, content_changed); });
    return add_gadget(id, GadgetKind::address, field, x, y, width, height);
}

void set_gadget_tooltip(int id, std::string_view text) {
    if (QWidget* widget = gadget_widget(id)) widget->setToolTip(qtext(text));
}

void hide_gadget(int id, int state) {
    if (QWidget* widget = gadget_widget(id)) widget->setVisible(state == 0);
}

std::string gadget_text(int id) {
    QWidget* widget = gadget_widget(id);
    if (!widget) return "";
    switch (layer.gadgets[id].kind) {
        case GadgetKind::button:
            return text_value(static_cast<QPushButton*>(widget)->text());
        case GadgetKind::label:
            return text_value(static_cast<QLabel*>(widget)->text());
        case GadgetKind::edit:
            return text_value(static_cast<QLineEdit*>(widget)->text());
        case GadgetKind::address:
            return text_value(static_cast<IpAddressField*>(widget)->dotted_text());
    }
    return "";
}

int wait_window_event() {
    layer.event_type = -1;
    while (layer.queue.empty()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const QueuedEvent event = layer.queue.front();
    layer.queue.pop_front();
    if (event.code == gadget_event) {
        layer.event_gadget = event.gadget;
        layer.event_type = event.type;
    }
    return event.code;
}

int event_gadget() {
    return layer.event_gadget;
}

int event_type() {
    return layer.event_type;
}
