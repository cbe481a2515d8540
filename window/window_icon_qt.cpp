// The program's icon: a trace of a line's health on a blue tile.
#include "window/window_icon_qt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>

namespace {

QPixmap icon_pixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x5f, 0xa8));
    painter.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);

    // A steady line with one burst of errors.
    QPainterPath trace;
    trace.moveTo(s * 0.12, s * 0.62);
    trace.lineTo(s * 0.40, s * 0.62);
    trace.lineTo(s * 0.50, s * 0.22);
    trace.lineTo(s * 0.60, s * 0.80);
    trace.lineTo(s * 0.68, s * 0.62);
    trace.lineTo(s * 0.88, s * 0.62);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(
        QPen(Qt::white, std::max(1.5, s * 0.09), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(trace);
    return pixmap;
}

}  // namespace

QIcon application_icon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) icon.addPixmap(icon_pixmap(size));
    return icon;
}
