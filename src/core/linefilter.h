#pragma once

#include <QString>
#include <QStringView>

// The text filtering core. A text is split into lines on the pair CR LF only: a lone CR or LF
// stays inside its line, the empty text has no lines, and a text ending in CR LF has a final
// empty line.

// Keeps the first occurrence of every line and drops each later line equal to a kept one (code
// unit for code unit). The first line is kept even when empty; every later empty line is dropped.
// Each kept line is followed by one CR LF, in input order.
QString FilterDuplicateLines(QStringView text);

// Number of lines that hold something besides U+0020 spaces.
qsizetype CountNonBlankLines(QStringView text);

// True when the line holds nothing but U+0020 spaces (or nothing at all).
bool IsBlankLine(QStringView line);

// The count captions shown under the input and the output box.
QString BeforeFilterCaption(qsizetype count);
QString AfterFilterCaption(qsizetype count);

// The text a text box holds once the given text is put into it: every line break the box
// recognises (CR LF, lone CR, lone LF, U+2029 and the frame markers U+FDD0/U+FDD1) becomes CR LF.
QString NormalizeLineBreaks(const QString& text);
