#pragma once

// A removed line as a row of text: "where<TAB>why<TAB>line", as the command line's list of
// removed lines and the window's export of them both write it.

#include "engine/engine.h"

#include <QString>
#include <QStringList>

// The names rows give the inputs (or the compared lists), made once from the names as given: with
// the system's separators and their control characters escaped (a tab or a line break in a name
// never adds a field or a row), and where several share a name, each of them followed by "#" and
// its position among all (from 1: "a.txt#1", "a.txt#3"), so that an input given twice is told
// apart.
QStringList RemovedRowNames(const QStringList& names);

// Where a line was: its number, after its input's row name and a colon when there are several
// inputs.
QString RemovedRowPlace(int input, qint64 line, const QStringList& rowInputNames);

// The row of a removed line before its text: where it was, a tab, why it went (where the line it
// repeats is, the row name of the list that removed it, "blank" or "unique"), a tab. The names
// are those RemovedRowNames made.
void AppendRemovedRowHead(QString& out, const RemovedLine& line, const QStringList& rowInputNames,
                          const QStringList& rowListNames);
