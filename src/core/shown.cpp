#include "core/shown.h"

#include "core/grouped.h"

#include <QDir>

namespace {

// The characters shown as escapes: those a terminal acts on, those that end a line for some
// reader, and those that reorder the text around them.
bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x061c || c == 0x200e || c == 0x200f ||
           c == 0x2028 || c == 0x2029 || (c >= 0x202a && c <= 0x202e) ||
           (c >= 0x2066 && c <= 0x2069);
}

void AppendHex(QString& out, char16_t c, int digits) {
    out += QStringLiteral("%1").arg(uint(c), digits, 16, QLatin1Char('0'));
}

// Where a value may be cut without splitting a surrogate pair.
qsizetype WholeCharacters(QStringView text, qsizetype at) {
    if (at > 0 && at < text.size() && text[at - 1].isHighSurrogate() && text[at].isLowSurrogate())
        return at - 1;
    return at;
}

} // namespace

QString EscapeControls(QStringView text) {
    qsizetype first = 0;
    while (first < text.size() && !IsControl(text[first].unicode()))
        ++first;
    if (first == text.size())
        return text.toString();
    QString out;
    out.reserve(text.size() + 16);
    out += text.first(first);
    for (qsizetype i = first; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!IsControl(c)) {
            out += text[i];
            continue;
        }
        switch (c) {
        case u'\t':
            out += QLatin1String("\\t");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        default:
            if (c <= 0xff) {
                out += QLatin1String("\\x");
                AppendHex(out, c, 2);
            } else {
                out += QLatin1String("\\u");
                AppendHex(out, c, 4);
            }
        }
    }
    return out;
}

QString Shown(QStringView value) {
    if (value.size() <= kMostShownChars)
        return EscapeControls(value);
    // Two thirds from the beginning, one third from the end: a path's file name stays.
    const qsizetype head = WholeCharacters(value, kMostShownChars * 2 / 3);
    const qsizetype tail =
        value.size() - WholeCharacters(value, value.size() - kMostShownChars / 3);
    return EscapeControls(value.first(head)) +
           QStringLiteral("…（共 %1 个字符）…").arg(Grouped(value.size())) +
           EscapeControls(value.last(tail));
}

QString ShownPath(const QString& path) {
    return Shown(QDir::toNativeSeparators(path));
}
