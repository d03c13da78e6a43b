#include "ui/window/splitbutton.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

SplitButton::SplitButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void SplitButton::setMarked(bool marked) {
    if (marked_ == marked)
        return;
    marked_ = marked;
    update();
}

QRect SplitButton::arrowRect() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    const int width = style()->pixelMetric(QStyle::PM_MenuButtonIndicator, &option, this) + 8;
    return {contents.right() + 1 - width, contents.top(), width, contents.height()};
}

void SplitButton::showDropDown() {
    if (!menu_ || !isEnabled())
        return;
    menu_->popup(mapToGlobal(QPoint(0, height())));
}

void SplitButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    const QRect arrow = arrowRect();
    QStyleOptionButton label = option;
    label.rect = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    label.rect.setRight(arrow.left() - 1);
    painter.drawControl(QStyle::CE_PushButtonLabel, label);

    const QPalette& colors = option.palette;
    QColor arrowColor =
        colors.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
    if (marked_ && isEnabled()) {
        painter.fillRect(arrow.adjusted(1, 1, 0, -1), colors.color(QPalette::Highlight));
        arrowColor = colors.color(QPalette::HighlightedText);
    } else {
        painter.setPen(colors.color(QPalette::Mid));
        painter.drawLine(arrow.left(), arrow.top() + 3, arrow.left(), arrow.bottom() - 3);
    }
    QStyleOption indicator;
    indicator.initFrom(this);
    const int side = std::min(arrow.width(), arrow.height()) / 2 + 1;
    indicator.rect = QRect(0, 0, side, side);
    indicator.rect.moveCenter(arrow.center() + QPoint(1, 0));
    for (const QPalette::ColorRole role :
         {QPalette::ButtonText, QPalette::WindowText, QPalette::Text})
        indicator.palette.setColor(role, arrowColor);
    painter.drawPrimitive(QStyle::PE_IndicatorArrowDown, indicator);
}

bool SplitButton::hitButton(const QPoint& pos) const {
    return QPushButton::hitButton(pos) && !arrowRect().contains(pos);
}

void SplitButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && arrowRect().contains(event->position().toPoint())) {
        showDropDown();
        event->accept();
        return;
    }
    QPushButton::mousePressEvent(event);
}

void SplitButton::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier)) ||
        event->key() == Qt::Key_F4) {
        showDropDown();
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void SplitButton::contextMenuEvent(QContextMenuEvent* event) {
    showDropDown();
    event->accept();
}
