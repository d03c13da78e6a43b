// The box's count of non-blank lines kept up to date through every edit, and the edits it makes
// its own: pastes and drops of text and files, the undo beyond the document's own, and the turn
// into a preview when an edit makes a line too long.
#include "ui/textbox/textbox.h"

#include "core/lines.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFutureWatcher>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QtConcurrent>

namespace {
bool BlockHasText(const QTextBlock& block) {
    return !IsBlankLine(block.text());
}

// The local files among the items, in order.
QStringList LocalFiles(const QMimeData* source) {
    QStringList files;
    if (!source || !source->hasUrls())
        return files;
    for (const QUrl& url : source->urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}
} // namespace

qsizetype TextBox::recountNonBlankLines() const {
    if (preview_)
        return previewCount_;
    qsizetype count = 0;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        count += BlockHasText(b) ? 1 : 0;
    return count;
}

void TextBox::recountAll() {
    blockNonBlank_.clear();
    blockNonBlank_.reserve(std::size_t(document()->blockCount()));
    nonBlank_ = 0;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        const quint8 flag = BlockHasText(b) ? 1 : 0;
        blockNonBlank_.push_back(flag);
        nonBlank_ += flag;
    }
}

void TextBox::setReportedCount(qsizetype count) {
    if (count == reported_)
        return;
    reported_ = count;
    emit nonBlankLineCountChanged(count);
}

// The blocks before the one holding `position` and after the one holding `position + added`
// are unchanged by an edit; only the flags of the blocks in between are replaced.
void TextBox::onContentsChange(int position, int /*removed*/, int added) {
    ++edits_;
    if (!marks_.empty())
        clearMarks();
    if (!settingText_) {
        cacheValid_ = false;
        cachedText_.clear();
    }
    const QTextDocument* doc = document();
    const qsizetype delta = qsizetype(doc->blockCount()) - qsizetype(blockNonBlank_.size());
    const QTextBlock first = doc->findBlock(position);
    QTextBlock last = doc->findBlock(position + added);
    if (!last.isValid())
        last = doc->lastBlock();
    const qsizetype firstNo = first.isValid() ? first.blockNumber() : -1;
    const qsizetype lastNo = last.blockNumber();
    const qsizetype oldLastNo = lastNo - delta;
    if (firstNo < 0 || oldLastNo < firstNo || oldLastNo >= qsizetype(blockNonBlank_.size())) {
        recountAll();
    } else {
        const auto oldBegin = blockNonBlank_.begin() + firstNo;
        const auto oldEnd = blockNonBlank_.begin() + oldLastNo + 1;
        for (auto it = oldBegin; it != oldEnd; ++it)
            nonBlank_ -= *it;
        std::vector<quint8> fresh(std::size_t(lastNo - firstNo + 1));
        QTextBlock b = first;
        bool tooLong = false;
        for (quint8& flag : fresh) {
            flag = BlockHasText(b) ? 1 : 0;
            nonBlank_ += flag;
            tooLong = tooLong || b.length() - 1 > kLongLine;
            b = b.next();
        }
        const auto at = blockNonBlank_.erase(oldBegin, oldEnd);
        blockNonBlank_.insert(at, fresh.begin(), fresh.end());
        // An edit that makes a line too long to lay out quickly (by joining lines, say) turns
        // the box into a preview of its text, which no further edit can slow down.
        if (tooLong && !settingText_ && !preview_ && !previewPending_) {
            previewPending_ = true;
            QTimer::singleShot(0, this, [this] { turnIntoPreview(); });
        }
    }
    if (!preview_)
        setReportedCount(nonBlank_);
    // Typing or pasting past the bound ends wrapping, once.
    if (!settingText_ && lineWrapMode() == QPlainTextEdit::WidgetWidth &&
        doc->blockCount() > kWrapLines)
        QTimer::singleShot(0, this, [this] {
            if (!isWorking() && document()->blockCount() > kWrapLines)
                setLineWrapMode(QPlainTextEdit::NoWrap);
        });
}

// The text is read back a slice at a time and prepared on a worker thread: a box of millions of
// characters takes longer than the window may wait. An edit made meanwhile starts it over.
void TextBox::turnIntoPreview() {
    if (preview_ || isWorking()) {
        previewPending_ = false;
        return;
    }
    withText([this](const QString& all) {
        const quint64 edits = edits_;
        auto* watcher = new QFutureWatcher<PreparedText>(this);
        connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, edits] {
            watcher->deleteLater();
            if (edits != edits_ && !preview_ && !isWorking()) {
                turnIntoPreview();
                return;
            }
            previewPending_ = false;
            // PrepareText() makes a preview only of a text that still has a line too long.
            PreparedText prepared = watcher->result();
            if (prepared.previewCount && !preview_ && !isWorking())
                replaceText(std::move(prepared), {}, UndoSlot::AsBefore, false);
        });
        watcher->setFuture(QtConcurrent::run([all] { return PrepareText(all); }));
    });
}

bool TextBox::canInsertFromMimeData(const QMimeData* source) const {
    if (!LocalFiles(source).isEmpty())
        return true;
    return QPlainTextEdit::canInsertFromMimeData(source);
}

// A paste inserts text at the cursor; for copied files, their paths, one a line.
void TextBox::insertFromMimeData(const QMimeData* source) {
    const QStringList files = LocalFiles(source);
    if (!files.isEmpty()) {
        QStringList paths;
        for (const QString& file : files)
            paths.append(QDir::toNativeSeparators(file));
        insertAtCursor(paths.join(u'\n'));
        return;
    }
    if (source && source->hasText()) {
        const QString text = source->text();
        if (pasteTaker_ && pasteTaker_(text))
            return;
        insertAtCursor(text);
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}

// A position of the document is as far into text() as it is, plus one for each line break
// before it (CR LF in text(), one character in the document).
TextBox::PastePlace TextBox::pastePlace() const {
    const QTextCursor cursor = textCursor();
    const QTextDocument* doc = document();
    const QTextBlock first = doc->findBlock(cursor.selectionStart());
    const QTextBlock last = doc->findBlock(cursor.selectionEnd());
    PastePlace place;
    place.from = cursor.selectionStart() + first.blockNumber();
    place.to = cursor.selectionEnd() + last.blockNumber();
    const qsizetype size = textSize();
    place.keptChars = size - (place.to - place.from);
    place.keptBreaks = (doc->blockCount() - 1) - (last.blockNumber() - first.blockNumber());
    place.tail = place.to < size;
    place.tailEndsWithBreak = place.tail && doc->blockCount() > 1 && doc->lastBlock().length() == 1;
    return place;
}

// Inserts at the cursor. A large insertion, or one that makes a line too long to edit, replaces
// the whole text instead (a slice at a time, or as a preview); Ctrl+Z brings back the text
// before it.
bool TextBox::insertReplacesAll(QStringView normalized) const {
    const QTextCursor cursor = textCursor();
    const QTextBlock first = document()->findBlock(cursor.selectionStart());
    const QTextBlock last = document()->findBlock(cursor.selectionEnd());
    const qsizetype around = qsizetype(cursor.selectionStart() - first.position()) +
                             (last.position() + last.length() - 1 - cursor.selectionEnd());
    return normalized.size() > kImmediateChars || HasMoreLinesThan(normalized, kImmediateLines) ||
           LinesLongerThan(normalized, kLongLine - around) > 0;
}

void TextBox::insertAtCursor(const QString& inserted) {
    const QTextCursor cursor = textCursor();
    const QString normalized = NormalizeLineBreaks(inserted);
    if (!insertReplacesAll(normalized)) {
        QPlainTextEdit::insertPlainText(inserted);
        return;
    }
    QTextCursor before(document());
    before.setPosition(cursor.selectionStart());
    before.movePosition(QTextCursor::Start, QTextCursor::KeepAnchor);
    QTextCursor after(document());
    after.setPosition(cursor.selectionEnd());
    after.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    QString head;
    AppendAsBoxText(head, before.selectedText());
    QString tail;
    AppendAsBoxText(tail, after.selectedText());
    setText(head + normalized + tail, {}, Undo::Keep);
}

QMimeData* TextBox::createMimeDataFromSelection() const {
    QMimeData* copied = QPlainTextEdit::createMimeDataFromSelection();
    if (copied && copied->hasText())
        copied->setText(WithReplacementCharacters(copied->text()));
    return copied;
}

// A file dragged onto a box that imports drops is accepted even while the box is read-only.
void TextBox::dragEnterEvent(QDragEnterEvent* event) {
    if (acceptFileDrops_ && !LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        QPlainTextEdit::dragEnterEvent(event);
}

void TextBox::dragMoveEvent(QDragMoveEvent* event) {
    if (acceptFileDrops_ && !LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        QPlainTextEdit::dragMoveEvent(event);
}

void TextBox::dropEvent(QDropEvent* event) {
    const QStringList files = acceptFileDrops_ ? LocalFiles(event->mimeData()) : QStringList();
    if (files.isEmpty()) {
        QPlainTextEdit::dropEvent(event);
        return;
    }
    // Ends the text's drop feedback without inserting anything.
    QDragLeaveEvent leave;
    QPlainTextEdit::dragLeaveEvent(&leave);
    event->acceptProposedAction();
    emit filesDropped(files);
}

void TextBox::setOuterUndo(std::function<bool()> available, std::function<void()> undo) {
    outerUndoAvailable_ = std::move(available);
    outerUndo_ = std::move(undo);
}

bool TextBox::canUndoBeyond() const {
    if (document()->isUndoAvailable() || isWorking())
        return false;
    return undoText_ || (outerUndoAvailable_ && outerUndoAvailable_());
}

bool TextBox::undoBeyond() {
    if (!canUndoBeyond())
        return false;
    if (undoText_) {
        const QString earlier = *std::exchange(undoText_, std::nullopt);
        setText(earlier);
    } else {
        outerUndo_();
    }
    return true;
}

void TextBox::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Undo) && undoBeyond()) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

// The menu's undo also reaches what the box's own undo stack does not hold.
void TextBox::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu(event->pos());
    if (!menu)
        return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (canUndoBeyond()) {
        if (auto* undo = menu->findChild<QAction*>(QStringLiteral("edit-undo"))) {
            undo->disconnect();
            undo->setEnabled(true);
            connect(undo, &QAction::triggered, this, [this] { undoBeyond(); });
        }
    }
    menu->popup(event->globalPos());
}
