#include "ui/textbox.h"

#include "core/linefilter.h"

#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>

namespace {
bool BlockHasText(const QTextBlock& block) {
    return !IsBlankLine(block.text());
}

// The first local file among the dropped items, if any.
QString DroppedFile(const QMimeData* source) {
    if (!source || !source->hasUrls())
        return {};
    for (const QUrl& url : source->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return {};
}

constexpr int kLinesPerSlice = 10000;
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

// True when some line of the text is longer than `length`.
bool HasLineLongerThan(QStringView text, qsizetype length) {
    if (text.size() <= length)
        return false;
    qsizetype start = 0;
    for (qsizetype at = text.indexOf(QChar(u'\n')); at >= 0;
         at = text.indexOf(QChar(u'\n'), start)) {
        if (at - start > length)
            return true;
        start = at + 1;
    }
    return text.size() - start > length;
}

// Lines longer than this wrap anywhere: finding word boundaries in one takes Qt seconds.
constexpr qsizetype kLongLine = 10000;

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
    recountAll();
}

// Lines wrap at word boundaries, and anywhere in a word too long for the box. A text with a very
// long line wraps anywhere instead, which is as readable there and thousands of times faster.
void TextBox::chooseWrapFor(QStringView text) {
    setWordWrapMode(HasLineLongerThan(text, kLongLine) ? QTextOption::WrapAnywhere
                                                       : QTextOption::WrapAtWordBoundaryOrAnywhere);
}

QString TextBox::documentText() const {
    const QString raw = document()->toRawText();
    QString text;
    text.reserve(raw.size() + document()->blockCount());
    AppendAsBoxText(text, raw);
    return text;
}

QString TextBox::text() const {
    if (!cacheValid_) {
        cachedText_ = documentText();
        cacheValid_ = true;
    }
    return cachedText_;
}

void TextBox::setText(const QString& text, std::function<void()> done) {
    std::vector<std::function<void()>> waiting = takeWaiting();
    if (done)
        waiting.push_back(std::move(done));
    const QString normalized = NormalizeLineBreaks(text);
    chooseWrapFor(normalized);
    if (!HasMoreLinesThan(normalized, kImmediateLines)) {
        settingText_ = true;
        setPlainText(normalized);
        settingText_ = false;
        cachedText_ = normalized;
        cacheValid_ = true;
        for (auto& callback : waiting)
            callback();
        return;
    }
    beginWork();
    settingText_ = true;
    setPlainText(QString());
    settingText_ = false;
    cachedText_ = normalized;
    cacheValid_ = true;
    fill_.active = true;
    fill_.text = normalized;
    fill_.next = 0;
    fill_.done = std::move(waiting);
    stepTimer_.start();
}

// Appends the next slice of lines at the end of the document.
void TextBox::fillStep() {
    const QStringView text(fill_.text);
    qsizetype end = fill_.next;
    for (int i = 0; i < kLinesPerSlice && end < text.size(); ++i) {
        const qsizetype at = text.indexOf(u"\r\n", end);
        end = at < 0 ? text.size() : at + 2;
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    settingText_ = true;
    cursor.insertText(text.sliced(fill_.next, end - fill_.next).toString());
    settingText_ = false;
    fill_.next = end;
    if (end < text.size())
        return;
    auto done = std::move(fill_.done);
    fill_ = Fill{};
    endWork();
    for (auto& callback : done)
        callback();
}

void TextBox::withText(std::function<void(const QString&)> use) {
    if (cacheValid_ && !fill_.active) {
        use(cachedText_);
        return;
    }
    if (fill_.active) { // the text is known; it is only not all shown yet
        fill_.done.emplace_back([this, use = std::move(use)] { use(cachedText_); });
        return;
    }
    if (document()->blockCount() <= kImmediateLines) {
        use(text());
        return;
    }
    read_.users.push_back(std::move(use));
    if (read_.active)
        return;
    beginWork();
    read_.active = true;
    read_.text.clear();
    read_.text.reserve(document()->characterCount() + document()->blockCount());
    read_.nextBlock = 0;
    stepTimer_.start();
}

// Reads the next slice of blocks onto the end of the text read so far.
void TextBox::readStep() {
    const QTextDocument* doc = document();
    const int last = std::min(doc->blockCount(), read_.nextBlock + kBlocksPerReadSlice);
    QTextCursor cursor(doc->findBlockByNumber(read_.nextBlock));
    if (last < doc->blockCount())
        cursor.setPosition(doc->findBlockByNumber(last).position(), QTextCursor::KeepAnchor);
    else
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    AppendAsBoxText(read_.text, cursor.selectedText());
    read_.nextBlock = last;
    if (last < doc->blockCount())
        return;
    cachedText_ = std::move(read_.text);
    cacheValid_ = true;
    auto users = std::move(read_.users);
    read_ = Read{};
    endWork();
    for (auto& use : users)
        use(cachedText_);
}

void TextBox::beginWork() {
    wasReadOnly_ = isReadOnly();
    setReadOnly(true);
    document()->setUndoRedoEnabled(false);
}

void TextBox::endWork() {
    stepTimer_.stop();
    document()->setUndoRedoEnabled(true);
    setReadOnly(wasReadOnly_);
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

// The blocks before the one holding `position` and after the one holding `position + added`
// are unchanged by an edit; only the flags of the blocks in between are replaced.
void TextBox::onContentsChange(int position, int /*removed*/, int added) {
    if (!settingText_) {
        cacheValid_ = false;
        cachedText_.clear();
    }
    const qsizetype before = nonBlank_;
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
        for (quint8& flag : fresh) {
            flag = BlockHasText(b) ? 1 : 0;
            nonBlank_ += flag;
            b = b.next();
        }
        const auto at = blockNonBlank_.erase(oldBegin, oldEnd);
        blockNonBlank_.insert(at, fresh.begin(), fresh.end());
    }
    if (nonBlank_ != before)
        emit nonBlankLineCountChanged(nonBlank_);
}

bool TextBox::canInsertFromMimeData(const QMimeData* source) const {
    if (acceptFileDrops_ && !DroppedFile(source).isEmpty())
        return true;
    return QPlainTextEdit::canInsertFromMimeData(source);
}

void TextBox::insertFromMimeData(const QMimeData* source) {
    const QString file = acceptFileDrops_ ? DroppedFile(source) : QString();
    if (!file.isEmpty()) {
        emit fileDropped(file);
        return;
    }
    if (source && source->hasText() && HasLineLongerThan(source->text(), kLongLine))
        setWordWrapMode(QTextOption::WrapAnywhere);
    QPlainTextEdit::insertFromMimeData(source);
}
