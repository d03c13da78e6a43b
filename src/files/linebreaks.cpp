#include "files/linebreaks.h"

#include <future>

namespace {
// From this many characters a text is counted in two halves at once.
constexpr qsizetype kTwoHalvesFrom = qsizetype(2) << 20;
} // namespace

QStringView LineBreakText(LineBreak lineBreak) {
    switch (lineBreak) {
    case LineBreak::Lf:
        return u"\n";
    case LineBreak::Cr:
        return u"\r";
    case LineBreak::CrLf:
        break;
    }
    return u"\r\n";
}

LineBreak LineBreakCounts::mostCommon() const {
    if (lf > crlf && lf >= cr)
        return LineBreak::Lf;
    if (cr > crlf && cr > lf)
        return LineBreak::Cr;
    return LineBreak::CrLf;
}

LineBreakCounts& LineBreakCounts::operator+=(const LineBreakCounts& other) {
    crlf += other.crlf;
    lf += other.lf;
    cr += other.cr;
    return *this;
}

LineBreakCounts CountLineBreaks(QStringView text) {
    LineBreakCounts n;
    for (qsizetype i = text.indexOf(u'\r'); i >= 0; i = text.indexOf(u'\r', i + 1)) {
        if (i + 1 < text.size() && text[i + 1] == u'\n')
            ++n.crlf;
        else
            ++n.cr;
    }
    n.lf = text.count(u'\n') - n.crlf;
    return n;
}

LineBreak MostCommonLineBreak(QStringView text) {
    if (text.size() < kTwoHalvesFrom)
        return CountLineBreaks(text).mostCommon();
    // Two halves at once; a CR LF across the middle counts as one.
    const qsizetype middle = text.size() / 2;
    auto second =
        std::async(std::launch::async, [&] { return CountLineBreaks(text.sliced(middle)); });
    LineBreakCounts n = CountLineBreaks(text.first(middle));
    const LineBreakCounts rest = second.get();
    const bool across = text[middle - 1] == u'\r' && text[middle] == u'\n';
    n += rest;
    n.crlf += qint64(across);
    n.cr -= qint64(across);
    n.lf -= qint64(across);
    return n.mostCommon();
}
