#pragma once

#include <QString>
#include <QtGlobal>

// The line breaks of a text: which one a file is written with, and which is its most common.

// The line break a file is written with.
enum class LineBreak { CrLf, Lf, Cr };

// The characters of a line break.
QStringView LineBreakText(LineBreak lineBreak);

// How many line breaks of each kind a text holds.
struct LineBreakCounts {
    qint64 crlf = 0;
    qint64 lf = 0;
    qint64 cr = 0;
    // The most common break; CR LF when there is none or on a tie with CR LF (and LF on a tie of
    // LF with CR).
    LineBreak mostCommon() const;
    LineBreakCounts& operator+=(const LineBreakCounts& other);
};

// Counts the line breaks of a text (a CR LF is one break).
LineBreakCounts CountLineBreaks(QStringView text);

// The most common line break of a text, counted on two threads for a large one.
LineBreak MostCommonLineBreak(QStringView text);
