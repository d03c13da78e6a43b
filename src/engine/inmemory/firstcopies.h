#pragma once

// The first copies of the lines of a file read through a buffer, kept in memory of the program's
// own. A repeat is compared with its first copy; looked at in the file's mapping, the copy's page
// stays in the program's resident size, and where repeats fall all over a file (a list of names
// or words drawn again and again) that is nearly every page of it, however few of its lines come
// again. Copied here, only the lines themselves are held, packed one after another, with no
// break between them: their length is in their place in the table.

#include "engine/inmemory/linebytes.h"
#include "engine/inmemory/linetable.h"
#include "engine/reading/segment.h"

#include <memory>
#include <vector>

class alignas(64) FirstCopies {
public:
    // The memory is taken in chunks of 2^chunkShift bytes, each holding whole lines; a chunk must
    // hold the longest line taken.
    explicit FirstCopies(int chunkShift = kChunkShift);

    static constexpr int kChunkShift = 20;

    // True when the first copy of a line of `length` bytes in `s` is kept here, where the lines
    // are compared by their bytes (the caller knows): a line of a file read through a buffer,
    // neither coded nor read again.
    static bool Takes(const Segment& s, qint64 length) {
        return s.file && !s.longLine && !IsCodedLine(length) && length < kReadAgainLineBytes;
    }
    // True when a place in a table (without its kSeenAgain mark) is one of these copies rather
    // than a position in the inputs.
    static bool Holds(quint64 place) { return (place & kTag) != 0; }

    // Copies a line; its place for the table. False when no more can be held (more than a TiB).
    bool add(const uchar* line, qint64 length, quint64* place);
    // True when the copy at `place` holds the bytes of (line, length).
    bool same(quint64 place, const uchar* line, qint64 length) const {
        return qint64((place >> kLengthShift) & kLengthMask) == length &&
               SameBytes(at(place), line, length);
    }
    const uchar* at(quint64 place) const {
        const quint64 offset = place & kOffsetMask;
        return chunks_[std::size_t(offset >> chunkShift_)].get() + (offset & chunkMask_);
    }
    // The bytes taken, chunks counted whole (for the tests).
    qint64 bytes() const { return qint64(chunks_.size()) << chunkShift_; }

private:
    // A place: the tag, the line's length and its offset among the chunks. (A position in the
    // inputs is far below the tag; the table's own marks are above it.)
    static constexpr quint64 kTag = quint64(1) << 61;
    static constexpr int kLengthShift = 40;
    static constexpr quint64 kLengthMask = 1023;
    static constexpr quint64 kOffsetMask = (quint64(1) << kLengthShift) - 1;
    static_assert(kReadAgainLineBytes - 1 <= qint64(kLengthMask));

    int chunkShift_;
    quint64 chunkMask_;
    std::vector<std::unique_ptr<uchar[]>> chunks_;
    quint64 used_ = 0; // the offset of the next copy
};

// True when a sample of the first lines was nearly all new lines (31 of 32 of its second half): a
// list of different lines, whose first copies will seldom be looked at again. Copied, they would
// take nearly as much memory as the input, while the few looked at in the mapping keep only their
// pages; copying stops.
inline bool StopsCopying(const DistinctSample& sample) {
    const qint64 half = sample.lines - sample.lines / 2;
    return sample.late * 32 >= half * 31;
}

// Asks for the bytes of the line at `place` to be brought near the processor.
inline void PrefetchFirstCopy(const FirstCopies& copies, const SegmentList& inputs, quint64 place) {
    if (FirstCopies::Holds(place))
        __builtin_prefetch(copies.at(place));
    else
        inputs.prefetch(place);
}
