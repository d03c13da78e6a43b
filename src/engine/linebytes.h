#pragma once

// A line's own bytes as its key: their hash, and whether two lines hold the same ones. Inline,
// since the default rule asks for them for every line.

#include "engine/engine_p.h"

#include <xxhash.h>

#include <cstring>

// Short lines are common (words, codes, numbers): compared here without a call.
inline bool SameBytes(const uchar* a, const uchar* b, qint64 length) {
    if (length > 64)
        return std::memcmp(a, b, std::size_t(length)) == 0;
    qint64 i = 0;
    for (; i + 8 <= length; i += 8) {
        quint64 x = 0;
        quint64 y = 0;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y)
            return false;
    }
    for (; i < length; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

// The hash of a line's bytes; a long line's in steps.
inline quint64 HashLineBytes(const Segment& s, const uchar* line, qint64 length) {
    return length <= kLongLineStep ? XXH3_64bits(line, std::size_t(length))
                                   : HashInSteps(s, line, length);
}

// True when the line at `pos` holds the bytes of (s, line, length) and ends right there.
inline bool SameLineBytesAt(const SegmentList& inputs, quint64 pos, const Segment& s,
                            const uchar* line, qint64 length) {
    const Segment& other = inputs.at(pos);
    const uchar* old = other.data + (qint64(pos) - other.base);
    if (other.end() - old < length)
        return false;
    if (length > kLongLineStep ? !SameInSteps(other, old, s, line, length)
                               : !SameBytes(old, line, length))
        return false;
    const uchar* after = old + length;
    if (after == other.end())
        return true;
    return other.units == UnitFormat::Bytes ? *after == '\r' || *after == '\n'
                                            : IsLineBreakAt(after, other.end(), other.units);
}
