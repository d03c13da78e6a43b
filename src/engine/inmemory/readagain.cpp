// Lines of a file read through a buffer, compared with their first copy read again from the file
// (see kReadAgainLineBytes): by their bytes, or by their keys.
#include "engine/inmemory/linebytes.h"

#include <algorithm>
#include <vector>

namespace {
// Read after a line, enough for its break in any encoding.
constexpr qint64 kBreakBytes = 4;
} // namespace

bool SameLineReadAgain(const SegmentList& inputs, const Segment& other, qint64 offset,
                       const uchar* line, qint64 length) {
    // In pieces, so that a thread keeps at most one piece however long the line; the last piece
    // takes what follows the line too, enough for its break in any encoding.
    constexpr qint64 kPiece = qint64(64) << 10;
    thread_local std::vector<uchar> piece;
    const qint64 after = std::min(kBreakBytes, other.size - (offset + length));
    qint64 n = 0;
    qint64 want = 0;
    for (qint64 at = 0; at < length; at += n) {
        n = std::min(kPiece, length - at);
        want = at + n == length ? n + after : n;
        if (qint64(piece.size()) < want)
            piece.resize(std::size_t(want));
        if (!ReadAt(*other.file, offset + at, reinterpret_cast<char*>(piece.data()), want)) {
            inputs.readFailed = true;
            return false;
        }
        if (!SameBytes(piece.data(), line + at, n))
            return false;
    }
    return after == 0 || IsLineBreakAt(piece.data() + n, piece.data() + want, other.units);
}

ReadAgain ReadLineAgain(const SegmentList& inputs, const Segment& other, qint64 offset,
                        qint64 expected, std::vector<uchar>& into, Segment* copy) {
    const qint64 left = other.size - offset;
    qint64 want = std::min(expected + kBreakBytes, left);
    for (;;) {
        into.resize(std::size_t(want));
        if (!ReadAt(*other.file, offset, reinterpret_cast<char*>(into.data()), want)) {
            inputs.readFailed = true;
            return ReadAgain::Failed;
        }
        const uchar* end = into.data() + want;
        const uchar* next = nullptr;
        const uchar* lineEnd = FindLineEnd(into.data(), end, other.units, &next);
        if (lineEnd < end || want == left)
            break;
        if (want > kLongLineStep)
            return ReadAgain::TooLong;
        want = std::min({2 * want, kLongLineStep + kBreakBytes, left});
    }
    *copy = other;
    copy->data = into.data();
    copy->size = want;
    copy->body = 0;
    copy->base = other.base + offset;
    copy->mapped = false;
    copy->longLine = false;
    copy->file = nullptr;
    return ReadAgain::Read;
}
