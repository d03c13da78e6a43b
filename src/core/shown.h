#pragma once

#include <QString>
#include <QStringView>

// How a value the user gave (a file's name, an option's value) is written where people read it:
// a message on standard error or in a box, a list of removed lines. A control character never
// reaches a terminal or breaks a line or a column: it is written as an escape (\t, \n, \r, \xHH
// for the rest of C0, DEL and C1, \u followed by four hex digits for the line and paragraph
// separators and the marks that turn the direction of text). A backslash stays as it is, so that
// Windows paths read as they are typed.
QString EscapeControls(QStringView text);

// The longest value a message shows whole, in characters; a longer one is cut in its middle.
constexpr qsizetype kMostShownChars = 240;

// A value in a message: escaped, and when longer than kMostShownChars, its beginning and its end
// with "…" and its length between them, so that a message stays a few lines long whatever it
// names.
QString Shown(QStringView value);

// A file's path in a message: with the system's separators, escaped and shortened as Shown.
QString ShownPath(const QString& path);
