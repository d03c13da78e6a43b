// The first look at the inputs' line breaks, in a piece for each worker where a file is large.
#include "engine/reading/firstlook.h"

#include "engine/reading/batches.h"
#include "engine/workers.h"

#include <algorithm>
#include <vector>

namespace {

void Add(FirstLook& look, const Segment& s, const LineBreakCounts& c) {
    if (s.list < 0)
        look.breaks += c;
    (s.list < 0 ? look.lines : look.listLines) += c.crlf + c.lf + c.cr + 1;
}

// Looks at the segments of `part`, which have their own list so that each thread reads its own.
FirstLook LookAt(const SegmentList& part) {
    FirstLook look;
    ForEachBatch(
        part,
        [&](const Segment& s, const uchar* from, const uchar* to) {
            Add(look, s, CountBatchBreaks(s, from, to));
            return true;
        },
        Reading::All);
    return look;
}

// True when a CR ends [.., at) of a file's segment and a LF starts [at, ..): each half then counted
// one of the pair as a break of its own.
bool PairCutAt(const Segment& s, qint64 at) {
    const qint64 unit = UnitBytes(s.units);
    uchar around[4] = {};
    int errnum = 0;
    if (ReadUpTo(*s.file, at - unit, reinterpret_cast<char*>(around), 2 * unit, &errnum) !=
        2 * unit)
        return false; // the file shrank: the halves' reading says so
    return CountLineBreaks(around, around + 2 * unit, s.units).crlf == 1;
}

} // namespace

FirstLook LookAtLines(const SegmentList& inputs, int threads) {
    const std::size_t count = std::size_t(std::max(1, threads));
    std::vector<SegmentList> parts(count);
    std::vector<std::pair<const Segment*, qint64>> cuts;
    for (const Segment& s : inputs.segments) {
        const qint64 text = s.size - s.body;
        if (!s.file || text < kLookInPiecesFrom || count == 1) {
            parts[0].segments.push_back(s);
            continue;
        }
        // Cut in equal pieces, each on a whole unit; a line and a character may be cut, which
        // only the CR LF pair notices.
        qint64 from = s.body;
        for (std::size_t i = 0; i < count; ++i) {
            const qint64 to = i + 1 == count ? s.size
                                             : s.body + (text / qint64(count) * qint64(i + 1) &
                                                         ~qint64(UnitBytes(s.units) - 1));
            Segment piece = s;
            piece.body = from;
            piece.size = to;
            parts[i].segments.push_back(piece);
            if (i > 0)
                cuts.emplace_back(&s, from);
            from = to;
        }
    }
    std::vector<FirstLook> looks(count);
    for (SegmentList& part : parts)
        part.batchBytes = inputs.batchBytes;
    if (cuts.empty()) {
        looks[0] = LookAt(parts[0]);
    } else {
        Workers workers(threads);
        workers.each([&](int me) { looks[std::size_t(me)] = LookAt(parts[std::size_t(me)]); });
    }
    for (const SegmentList& part : parts)
        if (part.readFailed)
            inputs.readFailed = true;

    FirstLook look = looks[0];
    for (std::size_t i = 1; i < count; ++i) {
        look.breaks += looks[i].breaks;
        look.lines += looks[i].lines;
        look.listLines += looks[i].listLines;
    }
    look.filesCut = int(cuts.size() / (count - 1 + (count == 1)));
    for (const auto& [s, cut] : cuts) {
        // A line cut in two counts twice, which leaves the count an upper bound; a CR LF pair
        // cut in two counted as a CR and a LF.
        if (PairCutAt(*s, cut) && s->list < 0) {
            look.breaks.cr -= 1;
            look.breaks.lf -= 1;
            look.breaks.crlf += 1;
        }
    }
    return look;
}
