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
} // namespace

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    connect(document(), &QTextDocument::contentsChange, this, &TextBox::onContentsChange);
    recountAll();
}

QString TextBox::documentText() const {
    QString raw = document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    return raw;
}

QString TextBox::text() const {
    if (!cacheValid_) {
        cachedText_ = documentText();
        cacheValid_ = true;
    }
    return cachedText_;
}

void TextBox::setText(const QString& text) {
    const QString normalized = NormalizeLineBreaks(text);
    settingText_ = true;
    setPlainText(normalized);
    settingText_ = false;
    cachedText_ = normalized;
    cacheValid_ = true;
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
    if (!file.isEmpty())
        emit fileDropped(file);
    else
        QPlainTextEdit::insertFromMimeData(source);
}
