#include "ui/textbox/preparedtext.h"

#include "core/lines.h"

#include <algorithm>

namespace {

QString PreviewNotice(qsizetype longLines) {
    return QStringLiteral("只读预览：有 %1 行超过 %2 个字符，这些行只显示开头。"
                          "过滤、复制和保存仍使用完整的文本。")
        .arg(longLines)
        .arg(PreparedText::kLongLine);
}

} // namespace

// One pass over the text finds its longest lines.
PreparedText PrepareText(const QString& text) {
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
        longLines += end - start > PreparedText::kLongLine ? 1 : 0;
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
        longest = std::min(longest, PreparedText::kShownLineChars + 64);
    }
    prepared.lines = lines;
    prepared.wrapAnywhere = longest > PreparedText::kWrapAnywhereLine;
    prepared.noWrap = lines > PreparedText::kWrapLines;
    prepared.immediate = prepared.shown.size() <= PreparedText::kImmediateChars &&
                         lines <= PreparedText::kImmediateLines;
    return prepared;
}

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
        if (length > PreparedText::kLongLine) {
            qsizetype cut = PreparedText::kShownLineChars;
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

bool HasMoreLinesThan(QStringView text, qsizetype lines) {
    qsizetype breaks = 0;
    for (qsizetype at = text.indexOf(u"\r\n"); at >= 0; at = text.indexOf(u"\r\n", at + 2)) {
        if (++breaks >= lines)
            return true;
    }
    return false;
}

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

qsizetype SliceEnd(QStringView text, qsizetype from) {
    qsizetype end = from;
    for (int i = 0; i < kLinesPerSlice && end < text.size() && end - from < kCharsPerSlice; ++i) {
        const qsizetype at = text.indexOf(u"\r\n", end);
        end = at < 0 ? text.size() : at + 2;
    }
    return end;
}
