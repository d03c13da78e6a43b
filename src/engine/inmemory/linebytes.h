#pragma once

// A line's own bytes as its key: their hash, and whether two lines hold the same ones. Inline,
// since the default rule asks for them for every line.

#include "engine/reading/batches.h"
#include "engine/reading/segment.h"

#include <xxhash.h>

#include <bit>
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

// Copies the bytes of a line: up to 256 bytes in words of 8 (the last overlapping the one before)
// or byte by byte, without a call; longer ones with the library's copy. For a few bytes that copy
// may take the processor's widest registers, which slows the whole core for a while after; the
// threads that decide, copying each new line with it, took an eighth longer.
inline void CopyLineBytes(uchar* to, const uchar* from, qint64 length) {
    if (length > 256) {
        std::memcpy(to, from, std::size_t(length));
        return;
    }
    quint64 word = 0;
    if (length >= 8) {
        for (qint64 i = 0; i + 8 < length; i += 8) {
            std::memcpy(&word, from + i, 8);
            std::memcpy(to + i, &word, 8);
        }
        std::memcpy(&word, from + length - 8, 8);
        std::memcpy(to + length - 8, &word, 8);
        return;
    }
    for (qint64 i = 0; i < length; ++i)
        to[i] = from[i];
}

// Lines of up to 7 bytes (words, codes, numbers) are not hashed but coded: their bytes and their
// length, mixed by steps that each can be undone, so that two lines have the same code exactly
// when they hold the same bytes. A code has an even count of one bits and the hash of a longer
// line an odd one, so a code never equals a hash either: where a short line's code is found in a
// table, the line found is the same line, without its bytes being looked at again. (Every bit of
// both stays as evenly spread as a hash's: the tables take the low ones, the partitions the
// high ones.)
constexpr qint64 kCodedLineBytes = 7;

inline bool IsCodedLine(qint64 length) {
    return length <= kCodedLineBytes;
}

inline bool IsLineCode(quint64 hash) {
    return std::popcount(hash) % 2 == 0;
}

inline quint64 CodeShortLine(const Segment& s, const uchar* line, qint64 length) {
    quint64 bytes = 0;
    if (s.end() - line >= 8) {
        std::memcpy(&bytes, line, 8);
        bytes &= (quint64(1) << (8 * length)) - 1; // the bytes after the line are not its own
    } else {
        std::memcpy(&bytes, line, std::size_t(length));
    }
    // 63 bits: the bytes in memory order, the length above them; mixed by multiplications by odd
    // numbers and shifts of high bits into low ones, so that near lines fall into far slots.
    constexpr quint64 k63 = ~quint64(0) >> 1;
    quint64 x = bytes | quint64(length) << 56;
    x = (x * 0x9e3779b97f4a7c15) & k63;
    x ^= x >> 32;
    x = (x * 0xbf58476d1ce4e5b9) & k63;
    x ^= x >> 29;
    return x << 1 | quint64(std::popcount(x) % 2);
}

// The hash of a line's bytes (a long line's made in steps), or a short line's code.
inline quint64 HashLineBytes(const Segment& s, const uchar* line, qint64 length) {
    if (IsCodedLine(length))
        return CodeShortLine(s, line, length);
    const quint64 hash = length <= kLongLineStep ? XXH3_64bits(line, std::size_t(length))
                                                 : HashInSteps(s, line, length);
    return hash ^ quint64(~std::popcount(hash) & 1); // an odd count of one bits
}

// A line of at least this many bytes in a file read through a buffer is compared with a copy
// read again from the file, not in the file's mapping: the mapped pages looked at would stay in
// the program's memory (with lines of a few KB, nearly the whole file), while one more read costs
// little beside such a line's own. Shorter lines are many, and a read each would cost more than
// they do.
constexpr qint64 kReadAgainLineBytes = 1024;

// True when the first copy of a line of `length` bytes in `other` is read again from its file.
// (Lines longer than kLongLineStep are gone through in steps of the mapping.)
inline bool ReadsAgain(const Segment& other, qint64 length) {
    return other.file && length >= kReadAgainLineBytes && length <= kLongLineStep;
}

// True when the line at `offset` of a mapped file's segment, read again from the file, holds the
// bytes of (line, length) and ends right there. Where the file can no longer be read there, says
// so in inputs.readFailed. For the lines ReadsAgain() names.
bool SameLineReadAgain(const SegmentList& inputs, const Segment& other, qint64 offset,
                       const uchar* line, qint64 length);

// What ReadLineAgain did.
enum class ReadAgain { Read, TooLong, Failed };

// Reads the line that starts at `offset` of a mapped file's segment again from the file into
// `into`, asking for `expected` bytes and its break first and more while its end is not among
// them, and makes *copy a segment of those bytes alone (the line at its start). TooLong, without
// reading on, for a line longer than kLongLineStep; Failed, said in inputs.readFailed too, where
// the file can no longer be read there.
ReadAgain ReadLineAgain(const SegmentList& inputs, const Segment& other, qint64 offset,
                        qint64 expected, std::vector<uchar>& into, Segment* copy);

// True when the line at `pos` holds the bytes of (s, line, length) and ends right there.
inline bool SameLineBytesAt(const SegmentList& inputs, quint64 pos, const Segment& s,
                            const uchar* line, qint64 length) {
    const Segment& other = inputs.at(pos);
    const uchar* old = other.data + (qint64(pos) - other.base);
    if (other.end() - old < length)
        return false;
    if (ReadsAgain(other, length))
        return SameLineReadAgain(inputs, other, old - other.data, line, length);
    if (length > kLongLineStep ? !SameInSteps(other, old, s, line, length)
                               : !SameBytes(old, line, length))
        return false;
    const uchar* after = old + length;
    if (after == other.end())
        return true;
    return other.units == UnitFormat::Bytes ? *after == '\r' || *after == '\n'
                                            : IsLineBreakAt(after, other.end(), other.units);
}

// True when the line at `pos`, found in a table under the code or hash of (s, line, length), is
// that line: a code decides alone, a hash is checked against the bytes.
inline bool SameLineFound(const SegmentList& inputs, quint64 pos, const Segment& s,
                          const uchar* line, qint64 length) {
    return IsCodedLine(length) || SameLineBytesAt(inputs, pos, s, line, length);
}
