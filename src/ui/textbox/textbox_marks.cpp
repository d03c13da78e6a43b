// Marked lines of a TextBox: painted under the text, only where they are on screen, and the
// cursor moved from one to the next.
#include "ui/textbox/textbox.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTextBlock>

#include <algorithm>

void TextBox::setMarks(std::vector<int> blocks, const QColor& color, std::vector<int> second,
                       const QColor& secondColor) {
    marks_ = std::move(blocks);
    markColor_ = color;
    secondMarks_ = std::move(second);
    secondMarkColor_ = secondColor;
    viewport()->update();
    emit marksChanged();
}

void TextBox::clearMarks() {
    if (marks_.empty())
        return;
    marks_.clear();
    marks_.shrink_to_fit();
    secondMarks_.clear();
    secondMarks_.shrink_to_fit();
    viewport()->update();
    emit marksChanged();
}

qsizetype TextBox::goToMark(bool forward) {
    if (marks_.empty())
        return -1;
    const int here = textCursor().blockNumber();
    auto at = forward ? std::upper_bound(marks_.begin(), marks_.end(), here)
                      : std::lower_bound(marks_.begin(), marks_.end(), here);
    if (forward && at == marks_.end())
        at = marks_.begin();
    else if (!forward)
        at = at == marks_.begin() ? marks_.end() - 1 : at - 1;
    const QTextBlock block = document()->findBlockByNumber(*at);
    if (!block.isValid())
        return -1;
    QTextCursor cursor(block);
    setTextCursor(cursor);
    centerCursor();
    return at - marks_.begin();
}

void TextBox::paintEvent(QPaintEvent* event) {
    if (!marks_.empty())
        paintMarks(event->rect());
    QPlainTextEdit::paintEvent(event);
}

// Under the text, across the viewport's width, for the marked blocks between the first visible
// one and the bottom of the viewport: a binary search finds the first, so that the cost does
// not grow with the text.
void TextBox::paintMarks(const QRect& area) {
    QTextBlock block = firstVisibleBlock();
    if (!block.isValid())
        return;
    auto next = std::lower_bound(marks_.begin(), marks_.end(), block.blockNumber());
    if (next == marks_.end())
        return;
    QPainter painter(viewport());
    painter.setClipRect(area);
    const QPointF offset = contentOffset();
    const int width = viewport()->width();
    const int height = viewport()->height();
    for (; block.isValid() && next != marks_.end(); block = block.next()) {
        const QRectF r = blockBoundingGeometry(block).translated(offset);
        if (r.top() > height)
            break;
        if (block.blockNumber() < *next)
            continue;
        const bool second =
            std::binary_search(secondMarks_.begin(), secondMarks_.end(), block.blockNumber());
        painter.fillRect(QRectF(0, r.top(), width, r.height()),
                         second ? secondMarkColor_ : markColor_);
        ++next;
    }
}
