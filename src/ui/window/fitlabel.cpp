#include "ui/window/fitlabel.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QTextLayout>

namespace {

constexpr qreal kSmallestPointSize = 6;

// Lays the text out, wrapped to `width` or on one line; returns where the lines are drawn.
QRectF LayOut(QTextLayout& layout, qreal width, bool wrap) {
    QTextOption option;
    option.setWrapMode(wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    QRectF drawn;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(wrap ? width : 1e6);
        line.setPosition(QPointF(0, y));
        drawn |= QRectF(line.x(), y, line.naturalTextWidth(), line.height());
        y += line.height();
    }
    layout.endLayout();
    return drawn;
}

// Shrinks the layout's font until the text fits `room`; returns where the text is drawn.
QRectF FitLayout(QTextLayout& layout, QFont font, QSizeF room, bool wrap, qreal* points = nullptr) {
    qreal size = font.pointSizeF();
    while (true) {
        // One line is drawn whole whatever its leading; wrapped lines must all fit in height.
        const QRectF drawn = LayOut(layout, room.width(), wrap);
        const bool fits =
            drawn.right() <= room.width() && (!wrap || drawn.bottom() <= room.height());
        if (fits || size <= kSmallestPointSize) {
            if (points)
                *points = size;
            return drawn;
        }
        size -= 0.25;
        font.setPointSizeF(size);
        layout.setFont(font);
    }
}

// A link label as screen readers see it: a link, named by its text, that can be pressed.
class LinkAccessible final : public QAccessibleWidget {
public:
    explicit LinkAccessible(FitLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return label()->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        s.focusable = true;
        return s;
    }
    QStringList actionNames() const override {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        if (name == pressAction())
            label()->activate();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    FitLabel* label() const { return static_cast<FitLabel*>(widget()); }
};

QAccessibleInterface* LinkAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("FitLabel") && object && object->isWidgetType()) {
        auto* label = static_cast<FitLabel*>(object);
        if (label->isLink())
            return new LinkAccessible(label);
    }
    return nullptr;
}

} // namespace

qreal FitLabel::fittedPointSize() const {
    QTextLayout layout(text(), font(), const_cast<FitLabel*>(this));
    qreal points = 0;
    FitLayout(layout, font(), size(), wordWrap(), &points);
    return points;
}

QRectF FitLabel::drawnTextRect() const {
    QTextLayout layout(text(), font(), const_cast<FitLabel*>(this));
    return FitLayout(layout, font(), size(), wordWrap());
}

void FitLabel::setLink(bool on) {
    static const bool installed = [] {
        QAccessible::installFactory(LinkAccessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
    link_ = on;
    setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
    setMouseTracking(on);
}

void FitLabel::paintEvent(QPaintEvent*) {
    QTextLayout layout(text(), font(), this);
    const QRectF drawn = FitLayout(layout, font(), size(), wordWrap());
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    layout.draw(&painter, QPointF(0, 0));
    if (link_ && hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = drawn.toAlignedRect().adjusted(-1, -1, 1, 1) & rect();
        option.backgroundColor = palette().color(QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void FitLabel::mouseReleaseEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    if (event->button() == Qt::LeftButton &&
        (link_ ? drawnTextRect().contains(at) : rect().contains(at.toPoint())))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

// A link shows the pointing hand over its text only, where a click opens it.
void FitLabel::mouseMoveEvent(QMouseEvent* event) {
    if (link_) {
        if (drawnTextRect().contains(event->position()))
            setCursor(Qt::PointingHandCursor);
        else
            unsetCursor();
    }
    QLabel::mouseMoveEvent(event);
}

void FitLabel::keyPressEvent(QKeyEvent* event) {
    const bool press = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                       event->key() == Qt::Key_Space;
    if (link_ && press && !(event->modifiers() & ~Qt::KeypadModifier)) {
        event->accept();
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}
