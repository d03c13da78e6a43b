#include "ui/textbox.h"

#include "core/lines.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>
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

// A slice takes the event loop some tens of milliseconds.
constexpr int kLinesPerSlice = 5000;
constexpr qsizetype kCharsPerSlice = qsizetype(256) * 1024;
constexpr int kBlocksPerReadSlice = 50000;

// Document text, whose blocks end in U+2029, as box text, whose lines end in CR LF.
void AppendAsBoxText(QString& out, QStringView raw) {
    qsizetype from = 0;
    for (qsizetype at = raw.indexOf(QChar::ParagraphSeparator); at >= 0;
         at = raw.indexOf(QChar::ParagraphSeparator, from)) {
        out.append(raw.sliced(from, at - from));
        out.append(u"\r\n");
        from = at + 1;
    }
    out.append(raw.sliced(from));
}

// True when the text has more than `lines` lines; stops counting as soon as it knows.
bool HasMoreLinesThan(QStringView text, qsizetype lines) {
    qsizetype breaks = 0;
    for (qsizetype at = text.indexOf(u"\r\n"); at >= 0; at = text.indexOf(u"\r\n", at + 2)) {
        if (++breaks >= lines)
            return true;
    }
    return false;
}

// The number of lines of the text longer than `length` (line breaks are CR LF).
qsizetype LinesLongerThan(QStringView text, qsizetype length) {
    if (text.size() <= length)
        return 0;
    qsizetype count = 0;
    qsizetype start = 0;
    for (qsizetype at = text.indexOf(u"\r\n"); at >= 0; at = text.indexOf(u"\r\n", start)) {
        count += at - start > length ? 1 : 0;
        start = at + 2;
    }
    return count + (text.size() - start > length ? 1 : 0);
}

// Lines longer than this wrap anywhere: finding word boundaries in one costs Qt far more time.
constexpr qsizetype kWrapAnywhereLine = 1000;

QString PreviewNotice(qsizetype longLines) {
    return QStringLiteral("只读预览：有 %1 行超过 %2 个字符，这些行只显示开头。"
                          "过滤、复制和保存仍使用完整的文本。")
        .arg(longLines)
        .arg(TextBox::kLongLine);
}

} // namespace

QString WithReplacementCharacters(const QString& text) {
    const qsizetype n = text.size();
    QString out;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (!c.isSurrogate())
            continue;
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (out.isEmpty())
            out = QString(text.constData(), n); // a copy only for a text that needs one
        out[i] = QChar::ReplacementCharacter;
    }
    return out.isEmpty() ? text : out;
}

QString CutLongLines(const QString& text) {
    QString out;
    out.reserve(text.size());
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u"\r\n", start);
        const bool last = end < 0;
        if (last)
            end = text.size();
        const qsizetype length = end - start;
        if (length > TextBox::kLongLine) {
            qsizetype cut = TextBox::kShownLineChars;
            if (text[start + cut - 1].isHighSurrogate())
                --cut;
            out.append(QStringView(text).sliced(start, cut));
            out.append(QStringLiteral(" ……［此行共 %1 个字符，只显示开头］").arg(length));
        } else {
            out.append(QStringView(text).sliced(start, length));
        }
        if (last)
            break;
        out.append(u"\r\n");
        start = end + 2;
    }
    return out;
}

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    connect(document(), &QTextDocument::contentsChange, this, &TextBox::onContentsChange);
    stepTimer_.setInterval(0);
    connect(&stepTimer_, &QTimer::timeout, this, [this] {
        if (fill_.active)
            fillStep();
        else if (read_.active)
            readStep();
    });

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
    note_->hide();

    strip_ = new QWidget(this);
    strip_->setObjectName(QStringLiteral("progress"));
    strip_->setAutoFillBackground(true);
    auto* row = new QHBoxLayout(strip_);
    row->setContentsMargins(2, 1, 2, 1);
    row->setSpacing(3);
    bar_ = new QProgressBar(strip_);
    bar_->setAccessibleName(QStringLiteral("进度"));
    bar_->setTextVisible(true);
    bar_->setAlignment(Qt::AlignCenter);
    bar_->setMaximumHeight(fontMetrics().height() + 2);
    row->addWidget(bar_, 1);
    cancel_ = new QToolButton(strip_);
    cancel_->setObjectName(QStringLiteral("cancel"));
    cancel_->setText(QStringLiteral("取消"));
    cancel_->setAccessibleName(QStringLiteral("取消"));
    cancel_->setToolTip(QStringLiteral("取消 (Esc)"));
    cancel_->setFocusPolicy(Qt::NoFocus);
    cancel_->setAutoRaise(true);
    row->addWidget(cancel_);
    connect(cancel_, &QToolButton::clicked, this, &TextBox::cancelRequested);
    strip_->hide();

    recountAll();
}

QString TextBox::documentText() const {
    const QString raw = document()->toRawText();
    QString text;
    text.reserve(raw.size() + document()->blockCount());
    AppendAsBoxText(text, raw);
    return text;
}

QString TextBox::text() const {
    if (fill_.active)
        return fill_.text.text;
    if (!cacheValid_) {
        cachedText_ = documentText();
        cacheValid_ = true;
    }
    return cachedText_;
}

qsizetype TextBox::textSize() const {
    if (fill_.active)
        return fill_.text.text.size();
    if (cacheValid_)
        return cachedText_.size();
    return qsizetype(document()->characterCount()) - 1 + document()->blockCount() - 1;
}

void TextBox::setText(const QString& text, std::function<void()> done, Undo undo) {
    setText(prepare(text), std::move(done), undo);
}

void TextBox::setText(PreparedText text, std::function<void()> done, Undo undo) {
    replaceText(std::move(text), std::move(done),
                undo == Undo::Keep ? UndoSlot::Keep : UndoSlot::Forget, false);
}

// Lines wrap at word boundaries, and anywhere in a word too long for the box. A text with a
// long line wraps anywhere instead, which is as readable there and much faster. One pass over the
// text finds its longest lines.
PreparedText TextBox::prepare(const QString& text) {
    PreparedText prepared;
    prepared.text = NormalizeLineBreaks(text);
    const QStringView all(prepared.text);
    qsizetype longLines = 0;
    qsizetype longest = 0;
    qsizetype lines = 0;
    qsizetype start = 0;
    for (qsizetype at = all.indexOf(QChar(u'\n')); start <= all.size();
         at = all.indexOf(QChar(u'\n'), start)) {
        // Every line break is CR LF here: a line ends before the CR.
        const qsizetype end = at < 0 ? all.size() : at - 1;
        longest = std::max(longest, end - start);
        longLines += end - start > kLongLine ? 1 : 0;
        ++lines;
        if (at < 0)
            break;
        start = at + 1;
    }
    prepared.shown = prepared.text;
    if (longLines > 0) {
        prepared.shown = CutLongLines(prepared.text);
        prepared.previewCount = CountNonBlankLines(prepared.text);
        prepared.notice = PreviewNotice(longLines);
        longest = std::min(longest, kShownLineChars + 64);
    }
    prepared.lines = lines;
    prepared.wrapAnywhere = longest > kWrapAnywhereLine;
    prepared.noWrap = lines > kWrapLines;
    prepared.immediate = prepared.shown.size() <= kImmediateChars && lines <= kImmediateLines;
    return prepared;
}

void TextBox::replaceText(PreparedText text, std::function<void()> done, UndoSlot undo,
                          bool restoring) {
    std::optional<PreparedText> beforeExternal;
    if (fill_.active && fill_.text.external) {
        beforeExternal = fill_.text;
    } else if (!fill_.active && isExternalPreview()) {
        beforeExternal = prepare(cachedText_);
        beforeExternal->previewCount = previewCount_;
        beforeExternal->notice = notice_->text();
        beforeExternal->external = true;
    }
    QString before = this->text();
    std::vector<std::function<void()>> waiting = takeWaiting();
    if (done)
        waiting.push_back(std::move(done));
    fill_.text = std::move(text);
    fill_.before = std::move(before);
    fill_.beforeExternal = std::move(beforeExternal);
    fill_.undo = undo;
    fill_.restoring = restoring;
    fill_.done = std::move(waiting);
    fill_.next = 0;
    // The document is emptied before the wrapping changes: a change of wrapping lays out every
    // line again.
    settingText_ = true;
    if (document()->characterCount() > 1)
        setPlainText(QString());
    applyWrap(fill_.text);
    if (fill_.text.immediate) {
        setPlainText(fill_.text.shown);
        settingText_ = false;
        fill_.next = fill_.text.shown.size();
        finishFill();
        return;
    }
    settingText_ = false;
    fill_.active = true;
    // The notice above the text is the new text's from the start: an earlier one would stand
    // over text it does not describe.
    notice_->setText(fill_.text.notice);
    notice_->setVisible(fill_.text.previewCount.has_value());
    layOutOverlays();
    beginWork();
    stepTimer_.start();
}

void TextBox::applyWrap(const PreparedText& text) {
    setLineWrapMode(text.noWrap ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    setWordWrapMode(text.wrapAnywhere ? QTextOption::WrapAnywhere
                                      : QTextOption::WrapAtWordBoundaryOrAnywhere);
}

// Appends the next slice of lines at the end of the document.
void TextBox::fillStep() {
    const QStringView text(fill_.text.shown);
    qsizetype end = fill_.next;
    for (int i = 0; i < kLinesPerSlice && end < text.size() && end - fill_.next < kCharsPerSlice;
         ++i) {
        const qsizetype at = text.indexOf(u"\r\n", end);
        end = at < 0 ? text.size() : at + 2;
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    settingText_ = true;
    cursor.insertText(text.sliced(fill_.next, end - fill_.next).toString());
    settingText_ = false;
    fill_.next = end;
    if (end < text.size()) {
        emit workProgress(int(end * 100 / text.size()));
        return;
    }
    endWork();
    finishFill();
}

// The document shows the whole of fill_.text.shown: the fill's text becomes the box's text.
void TextBox::finishFill() {
    Fill fill = std::move(fill_);
    fill_ = Fill{};
    cachedText_ = fill.text.text;
    cacheValid_ = true;
    // The document's own undo history starts afresh with every text set.
    document()->clearUndoRedoStacks();
    switch (fill.undo) {
    case UndoSlot::Forget:
        undoText_.reset();
        break;
    case UndoSlot::Keep:
        if (fill.before.size() <= kUndoChars && fill.before != fill.text.text)
            undoText_ = std::move(fill.before);
        else
            undoText_.reset();
        break;
    case UndoSlot::AsBefore:
        break;
    }
    present(fill.text);
    for (auto& callback : fill.done)
        callback();
}

// Switches between an ordinary box and a preview once the document shows the text's `shown`.
void TextBox::present(const PreparedText& text) {
    preview_ = text.previewCount.has_value();
    external_ = preview_ && text.external;
    previewCount_ = text.previewCount.value_or(0);
    notice_->setText(text.notice);
    notice_->setVisible(preview_);
    if (preview_)
        notice_->setAccessibleName(text.notice);
    layOutOverlays();
    updateReadOnly();
    setReportedCount(nonBlankLineCount());
}

void TextBox::showPreview(const QString& shown, const QString& notice, qsizetype nonBlankLines,
                          std::function<void()> done, Undo undo) {
    PreparedText text = prepare(shown);
    text.text = text.shown;
    text.previewCount = nonBlankLines;
    text.notice = notice;
    text.external = true;
    replaceText(std::move(text), std::move(done),
                undo == Undo::Keep ? UndoSlot::Keep : UndoSlot::Forget, false);
}

QString TextBox::notice() const {
    return preview_ ? notice_->text() : QString();
}

void TextBox::setNote(const QString& note) {
    if (note == noteText_ && note_->isVisibleTo(this) == !note.isEmpty())
        return;
    noteText_ = note;
    note_->setText(note);
    note_->setToolTip(note);
    note_->setAccessibleName(note);
    note_->setVisible(!note.isEmpty());
    layOutOverlays();
}

QString TextBox::note() const {
    return noteText_;
}

void TextBox::cancelFill(std::function<void()> done) {
    if (!fill_.active) {
        if (done)
            done();
        return;
    }
    if (fill_.restoring) {
        if (done)
            fill_.done.push_back(std::move(done));
        return;
    }
    QString before = std::move(fill_.before);
    std::optional<PreparedText> beforeExternal = std::move(fill_.beforeExternal);
    std::vector<std::function<void()>> waiting = takeWaiting();
    if (done)
        waiting.push_back(std::move(done));
    // The fill never finished: the box's earlier text, preview and undo slot come back as they
    // were; whoever waited for the fill is answered with that text.
    replaceText(
        beforeExternal ? std::move(*beforeExternal) : prepare(before),
        [waiting = std::move(waiting)]() mutable {
            for (auto& callback : waiting)
                callback();
        },
        UndoSlot::AsBefore, true);
}

void TextBox::withText(std::function<void(const QString&)> use) {
    if (fill_.active) { // the text is known; it is only not all shown yet
        fill_.done.emplace_back([this, use = std::move(use)] { use(cachedText_); });
        return;
    }
    if (cacheValid_) {
        use(cachedText_);
        return;
    }
    if (document()->blockCount() <= kImmediateLines &&
        document()->characterCount() <= kImmediateChars) {
        use(text());
        return;
    }
    read_.users.push_back(std::move(use));
    if (read_.active)
        return;
    read_.active = true;
    beginWork();
    read_.text.clear();
    read_.text.reserve(document()->characterCount() + document()->blockCount());
    read_.nextBlock = 0;
    stepTimer_.start();
}

// Reads the next slice of blocks onto the end of the text read so far.
void TextBox::readStep() {
    const QTextDocument* doc = document();
    const QTextBlock first = doc->findBlockByNumber(read_.nextBlock);
    QTextBlock end = first;
    int last = read_.nextBlock;
    for (qsizetype chars = 0;
         end.isValid() && last - read_.nextBlock < kBlocksPerReadSlice && chars < kCharsPerSlice;
         end = end.next(), ++last)
        chars += end.length();
    QTextCursor cursor(first);
    if (end.isValid())
        cursor.setPosition(end.position(), QTextCursor::KeepAnchor);
    else
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    AppendAsBoxText(read_.text, cursor.selectedText());
    read_.nextBlock = last;
    if (last < doc->blockCount()) {
        emit workProgress(int(qint64(last) * 100 / doc->blockCount()));
        return;
    }
    cachedText_ = std::move(read_.text);
    cacheValid_ = true;
    auto users = std::move(read_.users);
    read_ = Read{};
    endWork();
    for (auto& use : users)
        use(cachedText_);
}

void TextBox::beginWork() {
    document()->setUndoRedoEnabled(false);
    updateReadOnly();
}

void TextBox::endWork() {
    stepTimer_.stop();
    document()->setUndoRedoEnabled(true);
    updateReadOnly();
}

void TextBox::updateReadOnly() {
    setReadOnly(isWorking() || preview_);
}

// Abandons a fill or read in progress. Whoever waited for it is handed back, to be answered
// with the text that replaces it.
std::vector<std::function<void()>> TextBox::takeWaiting() {
    if (!isWorking())
        return {};
    auto waiting = std::move(fill_.done);
    for (auto& use : read_.users)
        waiting.push_back([this, use = std::move(use)] { use(cachedText_); });
    fill_ = Fill{};
    read_ = Read{};
    endWork();
    return waiting;
}

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
            // prepare() makes a preview only of a text that still has a line too long.
            PreparedText prepared = watcher->result();
            if (prepared.previewCount && !preview_ && !isWorking())
                replaceText(std::move(prepared), {}, UndoSlot::AsBefore, false);
        });
        watcher->setFuture(QtConcurrent::run([all] { return prepare(all); }));
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
        insertAtCursor(source->text());
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}

// Inserts at the cursor. A large insertion, or one that makes a line too long to edit, replaces
// the whole text instead (a slice at a time, or as a preview); Ctrl+Z brings back the text
// before it.
void TextBox::insertAtCursor(const QString& inserted) {
    const QTextCursor cursor = textCursor();
    const QTextBlock first = document()->findBlock(cursor.selectionStart());
    const QTextBlock last = document()->findBlock(cursor.selectionEnd());
    const qsizetype around = qsizetype(cursor.selectionStart() - first.position()) +
                             (last.position() + last.length() - 1 - cursor.selectionEnd());
    const QString normalized = NormalizeLineBreaks(inserted);
    if (normalized.size() <= kImmediateChars && !HasMoreLinesThan(normalized, kImmediateLines) &&
        LinesLongerThan(normalized, kLongLine - around) == 0) {
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

void TextBox::showProgress(int percent, const QString& what, bool cancellable) {
    if (percent < 0) {
        bar_->setRange(0, 0);
        bar_->setFormat(what);
    } else {
        bar_->setRange(0, 100);
        bar_->setValue(percent);
        bar_->setFormat(QStringLiteral("%1 %2%").arg(what).arg(percent));
    }
    bar_->setAccessibleDescription(bar_->format());
    cancel_->setVisible(cancellable);
    if (!strip_->isVisible()) {
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
    const int bottom = strip_->isVisibleTo(this) ? strip_->sizeHint().height() : 0;
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
