#include "ui/fitlabel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>

namespace {

constexpr qreal kSmallestPointSize = 6;

// Lays the text out, wrapped to `width` or on one line; returns the size the lines take.
QSizeF LayOut(QTextLayout& layout, qreal width, bool wrap) {
    QTextOption option;
    option.setWrapMode(wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    qreal widest = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(wrap ? width : 1e6);
        line.setPosition(QPointF(0, y));
        y += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return {widest, y};
}

// Shrinks the layout's font until the text fits `room`; returns the point size it ends at.
qreal FitLayout(QTextLayout& layout, QFont font, QSizeF room, bool wrap) {
    qreal points = font.pointSizeF();
    while (true) {
        // One line is drawn whole whatever its leading; wrapped lines must all fit in height.
        const QSizeF needed = LayOut(layout, room.width(), wrap);
        const bool fits =
            needed.width() <= room.width() && (!wrap || needed.height() <= room.height());
        if (fits || points <= kSmallestPointSize)
            return points;
        points -= 0.25;
        font.setPointSizeF(points);
        layout.setFont(font);
    }
}

} // namespace

qreal FitLabel::fittedPointSize() const {
    QTextLayout layout(text(), font(), const_cast<FitLabel*>(this));
    return FitLayout(layout, font(), size(), wordWrap());
}

void FitLabel::paintEvent(QPaintEvent*) {
    QTextLayout layout(text(), font(), this);
    FitLayout(layout, font(), size(), wordWrap());
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    layout.draw(&painter, QPointF(0, 0));
}

void FitLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
