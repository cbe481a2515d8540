// The Qt layer's windows behind the opaque WindowHandle of window/gadgets.h.
#pragma once

#include <QWidget>

#include "window/gadgets.h"

inline QWidget* qt_widget(WindowHandle window) {
    return reinterpret_cast<QWidget*>(window);
}
inline WindowHandle handle_of(QWidget* widget) {
    return reinterpret_cast<WindowHandle>(widget);
}
