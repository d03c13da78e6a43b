#include "cli/helptext.h"

#include <QStringList>
#include <QTextBoundaryFinder>

#include <unicode/uchar.h>

namespace {
constexpr int kNamesIndent = 2;
constexpr int kNamesColumn = 26;
} // namespace

int DisplayWidth(QStringView text) {
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        const auto kind =
            UEastAsianWidth(u_getIntPropertyValue(UChar32(c), UCHAR_EAST_ASIAN_WIDTH));
        if (u_getCombiningClass(UChar32(c)) != 0 || c == 0x200B)
            continue;
        width += kind == U_EA_WIDE || kind == U_EA_FULLWIDTH ? 2 : 1;
    }
    return width;
}

namespace {
QString WithoutTrailingSpaces(QString text) {
    while (text.endsWith(u' '))
        text.chop(1);
    return text;
}
} // namespace

QString WrapText(QStringView text, int width, int indent) {
    QStringList lines;
    const QString pad(indent, u' ');
    for (const QStringView paragraph : text.split(u'\n')) {
        const QString copy = paragraph.toString();
        QString line = lines.isEmpty() ? QString() : pad;
        int used = DisplayWidth(line);
        bool empty = true; // nothing on the line but its indent
        QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, copy);
        qsizetype start = 0;
        // Each piece runs from one place where a line may break to the next, spaces included.
        while (breaks.toNextBoundary() != -1) {
            const qsizetype at = breaks.position();
            if (at == start)
                continue;
            const QString piece = copy.mid(start, at - start);
            start = at;
            if (!empty && used + DisplayWidth(WithoutTrailingSpaces(piece)) > width) {
                lines << WithoutTrailingSpaces(line);
                line = pad;
                used = indent;
            }
            line += piece;
            used += DisplayWidth(piece);
            empty = false;
        }
        lines << WithoutTrailingSpaces(line);
    }
    return lines.join(u'\n');
}

QString FormatHelpEntries(const QList<HelpEntry>& entries, int width) {
    QString help;
    for (const HelpEntry& e : entries) {
        QString names = QString(kNamesIndent, u' ') + e.names;
        const int namesWidth = DisplayWidth(names);
        if (namesWidth + 2 > kNamesColumn) {
            help += names + u'\n' + QString(kNamesColumn, u' ');
        } else {
            help += names + QString(kNamesColumn - namesWidth, u' ');
        }
        help += WrapText(e.description, width - kNamesColumn, 0)
                    .replace(u'\n', u'\n' + QString(kNamesColumn, u' '));
        help += u'\n';
    }
    return help;
}
