// The box's text: setting it whole (at once, or a slice at a time), reading it back, and
// putting back the text a cancelled fill replaced.
#include "ui/textbox/textbox.h"

#include <QLabel>
#include <QTextBlock>
#include <QTextDocument>

namespace {
// A slice of the read-back takes the event loop some tens of milliseconds.
constexpr int kBlocksPerReadSlice = 50000;
} // namespace

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
    createOverlays();
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
    setText(PrepareText(text), std::move(done), undo);
}

void TextBox::setText(PreparedText text, std::function<void()> done, Undo undo) {
    replaceText(std::move(text), std::move(done),
                undo == Undo::Keep ? UndoSlot::Keep : UndoSlot::Forget, false);
}

void TextBox::replaceText(PreparedText text, std::function<void()> done, UndoSlot undo,
                          bool restoring) {
    std::optional<PreparedText> beforeExternal;
    if (fill_.active && fill_.text.external) {
        beforeExternal = fill_.text;
    } else if (!fill_.active && isExternalPreview()) {
        beforeExternal = PrepareText(cachedText_);
        beforeExternal->previewCount = previewCount_;
        beforeExternal->notice = notice_->text();
        beforeExternal->external = true;
    }
    // A preview set from elsewhere stands for a text the box does not hold: brought back by
    // Ctrl+Z it would pass for the whole text, editable and without its notice.
    if (beforeExternal && undo == UndoSlot::Keep)
        undo = UndoSlot::Forget;
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
    const qsizetype end = SliceEnd(text, fill_.next);
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
    PreparedText text = PrepareText(shown);
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
        beforeExternal ? std::move(*beforeExternal) : PrepareText(before),
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
