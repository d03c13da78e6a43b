#include "core/lines.h"

#include <algorithm>

namespace {

constexpr char16_t CR = u'\r';
constexpr char16_t LF = u'\n';

// Calls visit(line) for every line of the text, split on CR LF.
template <typename Visit> void ForEachLine(QStringView text, Visit&& visit) {
    if (text.isEmpty())
        return;
    qsizetype start = 0;
    qsizetype from = 0;
    const qsizetype size = text.size();
    while (true) {
        const qsizetype lf = text.indexOf(QChar(LF), from);
        if (lf < 0)
            break;
        if (lf > start && text[lf - 1] == QChar(CR)) {
            visit(text.sliced(start, lf - 1 - start));
            start = lf + 1;
        }
        from = lf + 1;
    }
    visit(text.sliced(start, size - start));
}

} // namespace

bool IsBlankLine(QStringView line) {
    for (const QChar c : line) {
        if (c != QChar(u' '))
            return false;
    }
    return true;
}

qsizetype CountNonBlankLines(QStringView text) {
    qsizetype count = 0;
    ForEachLine(text, [&](QStringView line) {
        if (!IsBlankLine(line))
            ++count;
    });
    return count;
}

QString BeforeFilterCaption(qsizetype count) {
    return QStringLiteral("过滤前共") + QString::number(count) + QStringLiteral("行");
}

QString AfterFilterCaption(qsizetype count) {
    return QStringLiteral("过滤后共") + QString::number(count) + QStringLiteral("行");
}

namespace {
// True when every line break in the text is already a CR LF pair: then a character is a LF
// exactly when the one before it is a CR. The inner loop has no branch that depends on the data,
// so the compiler turns it into vector instructions.
bool OnlyCrLfBreaks(QStringView text) {
    const auto* p = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    if (n == 0)
        return true;
    if (p[0] == LF || p[n - 1] == CR || p[0] == 0x2029 || (p[0] | 1) == 0xFDD1)
        return false;
    constexpr qsizetype kBlock = 1 << 14;
    for (qsizetype from = 1; from < n; from += kBlock) {
        const qsizetype to = std::min(n, from + kBlock);
        quint16 bad = 0;
        for (qsizetype i = from; i < to; ++i) {
            const quint16 c = p[i];
            const quint16 lf = c == LF;
            const quint16 afterCr = p[i - 1] == CR;
            const quint16 other = (c == 0x2029) | ((c | 1) == 0xFDD1);
            bad |= quint16((lf ^ afterCr) | other);
        }
        if (bad)
            return false;
    }
    return true;
}
} // namespace

QString NormalizeLineBreaks(const QString& text) {
    if (OnlyCrLfBreaks(text))
        return text; // nothing to change: share the original
    QString out;
    const qsizetype size = text.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c != CR && c != LF && c != 0x2029 && c != 0xFDD0 && c != 0xFDD1)
            continue;
        if (c == CR && i + 1 < size && text[i + 1] == QChar(LF)) {
            ++i; // already CR LF
            continue;
        }
        if (out.isNull())
            out.reserve(size + size / 8);
        out.append(QStringView(text).sliced(runStart, i - runStart));
        out.append(u"\r\n");
        runStart = i + 1;
    }
    out.append(QStringView(text).sliced(runStart));
    return out;
}
