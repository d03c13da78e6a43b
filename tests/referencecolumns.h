#pragma once

// The columns of a line for the plain reference (referencefilter.h).

#include "core/linekey.h"

#include <QString>
#include <QStringList>

// The columns of a line, cut by the separator as written out plainly.
inline QStringList ReferenceColumns(const QString& line, const Separator& separator) {
    QStringList all;
    if (separator.kind == Separator::Kind::Character) {
        all = line.split(separator.character);
    } else if (separator.kind == Separator::Kind::Space) {
        QString current;
        for (const QChar c : line + u' ') {
            if (!c.isSpace()) {
                current += c;
            } else if (!current.isEmpty()) {
                all << current;
                current.clear();
            }
        }
    } else { // a state machine over the characters
        enum { Start, Plain, Quoted, QuoteSeen, Tail } state = Start;
        QString current;
        for (const QChar c : line) {
            const bool quote = c == u'"';
            const bool comma = c == u',';
            if (comma && state != Quoted) {
                all << current;
                current.clear();
                state = Start;
            } else if (state == Start && quote) {
                state = Quoted;
            } else if (state == Quoted && quote) {
                state = QuoteSeen;
            } else if (state == QuoteSeen && quote) {
                current += c;
                state = Quoted;
            } else {
                current += c;
                state = state == Start ? Plain : state == QuoteSeen ? Tail : state;
            }
        }
        all << current;
    }
    return all;
}
