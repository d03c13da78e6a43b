#pragma once

// The one deliberately simple reference of the filter, which the tests, the fuzzer and the
// benchmarks compare the engine with: the rules written out plainly, lines kept in a list and
// looked up in hash maps, with Qt's own Unicode functions (not ICU, which the program uses).

#include "core/filteroptions.h"
#include "core/lines.h"

#include <QHash>
#include <QString>
#include <QStringList>

// A line's key: without the white space at its ends, then NFKC, then case folding (simple
// folding, which is full folding on every test alphabet).
inline QString ReferenceKey(QString line, const FilterOptions& o) {
    if (o.trim) {
        while (!line.isEmpty() && line.front().isSpace())
            line.remove(0, 1);
        while (!line.isEmpty() && line.back().isSpace())
            line.chop(1);
    }
    if (o.ignoreWidth)
        line = line.normalized(QString::NormalizationForm_KC);
    if (o.ignoreCase)
        line = line.toCaseFolded();
    return line;
}

// The lines of a text as the program sees them: a line ends at CR LF, a lone LF or a lone CR (and
// the other breaks a text box takes), and the last line break ends the last line.
inline QStringList ReferenceLines(const QString& text) {
    if (text.isEmpty())
        return {};
    QStringList lines = NormalizeLineBreaks(text).split(QStringLiteral("\r\n"));
    if (lines.size() > 1 && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

// The kept lines, each ended by CR LF, and with `counts` each after how often its key occurs and
// a tab. Blank lines (empty keys) never compare: the first line stays even when blank, later ones
// go, unless every blank line is kept.
inline QString ReferenceFilter(const QString& text, const FilterOptions& o = {},
                               bool counts = false) {
    const QStringList lines = ReferenceLines(text);
    QStringList keys;
    QHash<QString, int> first, last, count;
    int blanks = 0;
    for (int i = 0; i < lines.size(); ++i) {
        keys << ReferenceKey(lines[i], o);
        if (keys[i].isEmpty()) {
            ++blanks;
            continue;
        }
        if (!first.contains(keys[i]))
            first[keys[i]] = i;
        last[keys[i]] = i;
        ++count[keys[i]];
    }
    QString out;
    for (int i = 0; i < lines.size(); ++i) {
        const QString& k = keys[i];
        bool keep = false;
        int n = 1;
        if (k.isEmpty()) {
            keep = o.keepBlank || i == 0;
            n = o.keepBlank ? 1 : blanks;
        } else {
            n = count[k];
            switch (o.keep) {
            case KeepMode::First:
                keep = first[k] == i;
                break;
            case KeepMode::Last:
                keep = last[k] == i;
                break;
            case KeepMode::Unique:
                keep = n == 1;
                break;
            case KeepMode::Repeated:
                keep = n > 1 && first[k] == i;
                break;
            }
        }
        if (keep)
            out += (counts ? QString::number(n) + u'\t' : QString()) + lines[i] +
                   QStringLiteral("\r\n");
    }
    return out;
}
