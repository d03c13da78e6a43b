// The first look at the inputs' line breaks, in two halves where a file is large.
#include "engine/reading/firstlook.h"

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

FirstLook LookAtLines(const SegmentList& inputs) {
    SegmentList halves[2];
    std::vector<std::pair<const Segment*, qint64>> cuts;
    for (const Segment& s : inputs.segments) {
        const qint64 text = s.size - s.body;
        if (!s.file || text < kLookInHalvesFrom) {
            halves[0].segments.push_back(s);
            continue;
        }
        // Cut in the middle, on a whole unit; a line and a character may be cut, which only the
        // CR LF pair notices.
        const qint64 cut = s.body + (text / 2 & ~qint64(UnitBytes(s.units) - 1));
        Segment first = s;
        first.size = cut;
        Segment second = s;
        second.body = cut;
        halves[0].segments.push_back(first);
        halves[1].segments.push_back(second);
        cuts.emplace_back(&s, cut);
    }
    FirstLook looks[2];
    for (SegmentList& half : halves)
        half.batchBytes = inputs.batchBytes;
    if (halves[1].segments.empty()) {
        looks[0] = LookAt(halves[0]);
    } else {
        Helper helper;
        helper.both([&] { looks[0] = LookAt(halves[0]); }, [&] { looks[1] = LookAt(halves[1]); });
    }
    if (halves[0].readFailed || halves[1].readFailed)
        inputs.readFailed = true;

    FirstLook look = looks[0];
    look.breaks += looks[1].breaks;
    look.lines += looks[1].lines;
    look.listLines += looks[1].listLines;
    look.filesCut = int(cuts.size());
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
