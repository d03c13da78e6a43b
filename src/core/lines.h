#pragma once

#include <QString>
#include <QStringView>

// The lines of a text box: how they are counted and captioned, and the line breaks a box holds.
// (The filter itself is the engine's: FilterDuplicateLines in engine/engine.h.)
//
// A box's text has CR LF for every line break (NormalizeLineBreaks), so it is split into lines on
// CR LF only here: the empty text has no lines, and a text ending in CR LF has a final empty
// line.

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
