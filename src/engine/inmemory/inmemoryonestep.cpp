// The in-memory way's shortest path: the default rule on a line's own bytes, one line at a time.
#include "core/keeprules.h"
#include "engine/inmemory/inmemory.h"
#include "engine/inmemory/linebytes.h"

#include <array>
#include <limits>

bool InMemory::oneStep(const Segment& s) const {
    return job_.keyWay == KeyWay::Bytes && options_.keep == KeepMode::First && !counting_ &&
           !job_.removed && !comparesLists() && s.units == UnitFormat::Bytes && !s.native &&
           !s.longLine;
}

qint64 InMemory::filterInOneStep(const Segment& s, const uchar* from, const uchar* to) {
    // A few lines are split off ahead of the one decided: the slot each will look at is asked
    // for when it is split, and the bytes of the line found there a few lines later, so that
    // neither waits for memory when its turn comes.
    struct Line {
        const uchar* bytes;
        qint64 length;
        quint64 hash;
    };
    constexpr std::size_t kAhead = 16; // a power of two
    constexpr std::size_t kBytesAhead = 8;
    std::array<Line, kAhead> ring;
    std::size_t head = 0;
    std::size_t tail = 0;
    const uchar* p = from;
    auto splitOne = [&] {
        const uchar* next = nullptr;
        Line& line = ring[tail++ % kAhead];
        line.bytes = p;
        line.length = FindLineEnd(p, to, UnitFormat::Bytes, &next) - p;
        p = next;
        line.hash = line.length > 0 ? HashLineBytes(s, line.bytes, line.length) : 0;
        if (line.length > 0)
            tables_[line.hash >> 63].prefetch(line.hash);
    };
    while (tail < kAhead && p < to)
        splitOne();

    const SegmentList& inputs = job_.inputs;
    qint64 index = lineIndex_;
    for (; head < tail; ++head, ++index) {
        if (tail - head > kBytesAhead) {
            const Line& ahead = ring[(head + kBytesAhead) % kAhead];
            // A short line's code tells all: the bytes of the line found need not be read.
            const quint64 pos = !IsCodedLine(ahead.length)
                                    ? tables_[ahead.hash >> 63].homePosition(ahead.hash)
                                    : LineTable::kFree;
            if (pos != LineTable::kFree)
                PrefetchFirstCopy(copies_[ahead.hash >> 63], inputs, pos & LineTable::kPosMask);
        }
        const Line line = ring[head % kAhead];
        if (p < to)
            splitOne();
        bool keep = false;
        if (line.length == 0) {
            keep = KeepsBlankLine(options_, index);
            ++blanks_;
            blanksKept_ += keep;
        } else {
            const auto share = unsigned(line.hash >> 63);
            LineTable& table = tables_[share];
            const FirstCopies& copies = copies_[share];
            table.reserveOne(std::numeric_limits<qint64>::max());
            LineTable::Slot& slot = table.findOrInsert(
                line.hash, quint64(s.base + (line.bytes - s.data)),
                [&](quint64 old) {
                    return FirstCopies::Holds(old)
                               ? copies.same(old, line.bytes, line.length)
                               : SameLineFound(inputs, old, s, line.bytes, line.length);
                },
                &keep);
            if (!keep) {
                slot.pos |= LineTable::kSeenAgain;
            } else {
                copyFirstLine(share, slot, s, line.bytes, line.length);
                if (index < sampleTo_)
                    ++(index < sampleFrom_ ? newEarly_ : newLate_)[0];
            }
        }
        if (keep && !out_.line(s, line.bytes, line.length, 0))
            return -1;
    }
    return index - lineIndex_;
}
