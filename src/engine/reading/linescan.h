#pragma once

#include "files/linebreaks.h"
#include "files/textcodec.h"

#include <QtGlobal>

// How the bytes of a text are cut into lines: by bytes (UTF-8, GBK and GB18030, whose
// multi-byte sequences never hold a CR or LF byte) or by two-byte units.
enum class UnitFormat { Bytes, Utf16Le, Utf16Be };

UnitFormat UnitFormatOf(TextEncoding encoding);
// The format of a QString's own memory.
UnitFormat NativeUtf16();
inline int UnitBytes(UnitFormat format) {
    return format == UnitFormat::Bytes ? 1 : 2;
}

// Finds the line break that ends the line starting at `p` (a CR LF pair, a lone LF or a lone
// CR). Returns where the break starts (`end` when the line runs to the end) and sets *next to
// where the following line starts.
const uchar* FindLineEnd(const uchar* p, const uchar* end, UnitFormat format, const uchar** next);

// Calls visit(line, length) for every line of [begin, end), which starts at a line start. A line
// is the text before a break; the text after the last break is a line when it is not empty.
template <typename Visit>
void ForEachLine(const uchar* begin, const uchar* end, UnitFormat format, Visit&& visit) {
    const uchar* p = begin;
    while (p < end) {
        const uchar* next = nullptr;
        const uchar* lineEnd = FindLineEnd(p, end, format, &next);
        visit(p, qint64(lineEnd - p));
        p = next;
    }
}

// Where the first line starting at or after `at` begins (or `end`).
const uchar* NextLineStart(const uchar* at, const uchar* end, UnitFormat format);

// Where the last whole line of [begin, end) ends: right after its break. A CR at the very end
// may be half of a CR LF still to come, so it does not count. `begin` when there is none.
const uchar* AfterLastBreak(const uchar* begin, const uchar* end, UnitFormat format);

// True when a line break starts at `p` (p < end).
bool IsLineBreakAt(const uchar* p, const uchar* end, UnitFormat format);

// Counts the line break that starts at `at` (the end of a line), if any.
void CountBreakAfter(const uchar* at, const uchar* end, UnitFormat format, LineBreakCounts& counts);

// Counts the line breaks of [begin, end).
LineBreakCounts CountLineBreaks(const uchar* begin, const uchar* end, UnitFormat format);

// The bytes of a line break in the given format.
QByteArray LineBreakBytes(LineBreak lineBreak, UnitFormat format);
