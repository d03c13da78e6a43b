// The in-memory way's lists: their keys in a table, and each line of the input looked up there.
#include "core/keeprules.h"
#include "engine/inmemory/inmemory.h"

#include <limits>

bool InMemory::readLists() {
    LineReader& checker = *checkers_[0];
    // Every line of the input is looked up among the lists' lines: a mapped list is brought into
    // memory at once rather than a page at a time as the lookups reach it.
    for (const Segment& s : job_.inputs.segments) {
        if (s.list >= 0 && s.file)
            PrefaultMappedPages(s.data, s.size);
    }
    // Sized once for every line of the lists, which are mostly distinct.
    lists_.reserve(job_.listLines);
    return ForEachBatch(
        job_.inputs,
        [&](const Segment& s, const uchar* from, const uchar* to) {
            splitter_.split(s, from, to, lines_);
            if (s.stopped())
                return false;
            const quint64 bit = quint64(1) << s.list;
            constexpr std::size_t kSlotAhead = 16;
            for (std::size_t i = 0; i < lines_.size(); ++i) {
                if (i + kSlotAhead < lines_.size())
                    lists_.prefetch(lines_[i + kSlotAhead].hash);
                const LineRef& line = lines_[i];
                if (line.kind != LineKind::Keyed)
                    continue; // a list's blank lines and lines without a key mean nothing
                lists_.reserveOne(std::numeric_limits<qint64>::max());
                const uchar* bytes = s.data + (qint64(line.pos) - s.base);
                bool inserted = false;
                LineTable::Slot& slot = lists_.findOrInsert(
                    line.hash, line.pos,
                    [&](quint64 pos) {
                        return checker.sameAs(job_.inputs, pos, s, bytes, line.length);
                    },
                    &inserted);
                lists_.countOf(slot) = (inserted ? 0 : lists_.countOf(slot)) | bit;
            }
            return job_.advance(to - from);
        },
        Reading::Lists);
}

int InMemory::removingList(const Segment& s, const LineRef& line, LineReader& checker,
                           unsigned share) {
    if (!comparesLists())
        return -1;
    quint64 holding = 0;
    if (line.kind == LineKind::Keyed) {
        const uchar* bytes = s.data + (qint64(line.pos) - s.base);
        const LineTable::Slot* slot = lists_.find(line.hash, [&](quint64 pos) {
            return checker.sameAs(job_.inputs, pos, s, bytes, line.length);
        });
        holding = slot ? lists_.countOf(*slot) : 0;
    }
    if (PassesLists(holding, job_.excluding, job_.intersecting))
        return -1;
    const int list = RemovingList(holding, job_.excluding, job_.intersecting);
    ++removedByList_[share][std::size_t(list)];
    return list;
}
