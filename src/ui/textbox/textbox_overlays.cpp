// What a TextBox lays over its edges, taking the room from its viewport: the notice of a preview
// and a note above the text, and the progress strip with its cancel button below it.
#include "ui/textbox/textbox.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScrollBar>
#include <QToolButton>

void TextBox::createOverlays() {
    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("notice"));
    notice_->setWordWrap(true);
    notice_->setAutoFillBackground(true);
    notice_->setMargin(3);
    notice_->setForegroundRole(QPalette::ToolTipText);
    notice_->setBackgroundRole(QPalette::ToolTipBase);
    notice_->hide();

    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("note"));
    note_->setAutoFillBackground(true);
    note_->setMargin(2);
    note_->setForegroundRole(QPalette::ToolTipText);
    note_->setBackgroundRole(QPalette::ToolTipBase);
    note_->installEventFilter(this);
    note_->hide();

    strip_ = new QWidget(this);
    strip_->setObjectName(QStringLiteral("progress"));
    strip_->setAutoFillBackground(true);
    auto* row = new QGridLayout(strip_);
    row->setContentsMargins(2, 1, 2, 1);
    row->setSpacing(3);
    bar_ = new QProgressBar(strip_);
    bar_->setAccessibleName(QStringLiteral("进度"));
    bar_->setTextVisible(true);
    bar_->setAlignment(Qt::AlignCenter);
    bar_->setMaximumHeight(fontMetrics().height() + 2);
    row->addWidget(bar_, 0, 0);
    row->setColumnStretch(0, 1);
    cancel_ = new QToolButton(strip_);
    cancel_->setObjectName(QStringLiteral("cancel"));
    cancel_->setText(QStringLiteral("取消"));
    cancel_->setAccessibleName(QStringLiteral("取消"));
    cancel_->setToolTip(QStringLiteral("取消 (Esc)"));
    cancel_->setFocusPolicy(Qt::NoFocus);
    cancel_->setAutoRaise(true);
    row->addWidget(cancel_, 0, 1);
    // Why the work is slow, when the job knows.
    why_ = new QLabel(strip_);
    why_->setObjectName(QStringLiteral("progressWhy"));
    why_->setWordWrap(true);
    why_->hide();
    row->addWidget(why_, 1, 0, 1, 2);
    connect(cancel_, &QToolButton::clicked, this, &TextBox::cancelRequested);
    strip_->hide();
}

void TextBox::setNote(const QString& note) {
    if (note == noteText_ && note_->isVisibleTo(this) == !note.isEmpty())
        return;
    noteText_ = note;
    note_->setText(note);
    note_->setToolTip(noteClickable_ ? note + u'\n' + noteHint_ : note);
    note_->setAccessibleName(note);
    note_->setVisible(!note.isEmpty());
    layOutOverlays();
}

QString TextBox::note() const {
    return noteText_;
}

void TextBox::setNoteClickable(bool on, const QString& hint) {
    noteClickable_ = on;
    noteHint_ = on ? hint : QString();
    note_->setCursor(on ? Qt::PointingHandCursor : Qt::ArrowCursor);
    note_->setToolTip(on ? noteText_ + u'\n' + noteHint_ : noteText_);
    note_->setAccessibleDescription(noteHint_);
}

bool TextBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == note_ && noteClickable_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        note_->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
        emit noteClicked();
        return true;
    }
    return QPlainTextEdit::eventFilter(watched, event);
}

void TextBox::showProgress(int percent, const QString& what, bool cancellable, const QString& why) {
    if (percent < 0) {
        bar_->setRange(0, 0);
        bar_->setFormat(what);
    } else {
        bar_->setRange(0, 100);
        bar_->setValue(percent);
        bar_->setFormat(QStringLiteral("%1 %2%").arg(what).arg(percent));
    }
    bar_->setAccessibleDescription(why.isEmpty() ? bar_->format() : bar_->format() + u' ' + why);
    cancel_->setVisible(cancellable);
    const bool whyChanged = why_->text() != why;
    why_->setText(why);
    why_->setVisible(!why.isEmpty());
    if (!strip_->isVisible() || whyChanged) {
        strip_->show();
        layOutOverlays();
    }
}

void TextBox::hideProgress() {
    if (!strip_->isVisible())
        return;
    strip_->hide();
    layOutOverlays();
}

bool TextBox::isProgressShown() const {
    return strip_->isVisible();
}

// The notice above the text and the progress strip below it take their room from the viewport.
void TextBox::layOutOverlays() {
    const QRect inner = contentsRect();
    const int barWidth =
        verticalScrollBar()->isVisibleTo(this) ? verticalScrollBar()->sizeHint().width() : 0;
    const int width = inner.width() - barWidth;
    const int noticeHeight = notice_->isVisibleTo(this) ? notice_->heightForWidth(width) : 0;
    const int noteHeight = note_->isVisibleTo(this) ? note_->sizeHint().height() : 0;
    const int top = noticeHeight + noteHeight;
    const int bottom = !strip_->isVisibleTo(this)    ? 0
                       : strip_->hasHeightForWidth() ? strip_->heightForWidth(width)
                                                     : strip_->sizeHint().height();
    setViewportMargins(0, top, 0, bottom);
    const int x = isRightToLeft() ? inner.left() + barWidth : inner.left();
    notice_->setGeometry(x, inner.top(), width, noticeHeight);
    note_->setGeometry(x, inner.top() + noticeHeight, width, noteHeight);
    // A note longer than the box is cut with "…"; its tooltip holds it whole.
    note_->setText(
        note_->fontMetrics().elidedText(noteText_, Qt::ElideRight, width - 2 * note_->margin()));
    // Right under the text, above a horizontal scroll bar.
    strip_->setGeometry(x, viewport()->geometry().bottom() + 1, width, bottom);
}

void TextBox::resizeEvent(QResizeEvent* event) {
    if (lineWrapMode() == QPlainTextEdit::NoWrap &&
        event->oldSize().width() != event->size().width()) {
        // Lines that never wrap need no new layout at another width; Qt would make one for every
        // line of the document.
        QResizeEvent sameWidth(event->size(),
                               QSize(event->size().width(), event->oldSize().height()));
        QPlainTextEdit::resizeEvent(&sameWidth);
    } else {
        QPlainTextEdit::resizeEvent(event);
    }
    layOutOverlays();
}

void TextBox::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        layOutOverlays();
}
