// The in-memory way with sums: the kept lines written from the tables after one pass, each copy
// that merges others with its sum.
#include "core/keeprules.h"
#include "engine/inmemory/inmemory.h"
#include "engine/reading/batches.h"

#include <algorithm>

bool InMemory::emitFromTables() {
    // What each kept line needs is taken in the tables' order, which reads them straight through;
    // the lines are then put in input order.
    struct Kept {
        quint64 pos;
        quint64 count;
        const DecimalSum* sum; // null for a line met once, a blank line or one without a key
    };
    std::vector<Kept> kept;
    kept.reserve(std::size_t(tables_[0].size() + tables_[1].size()) + loose_.size());
    for (const LineTable& table : tables_) {
        table.forEach([&](const LineTable::Slot& slot) {
            const bool repeated = (slot.pos & LineTable::kSeenAgain) != 0;
            if (!KeepsKey(options_.keep, repeated))
                return;
            // A line met once is written as it stands; merged copies with their sum.
            kept.push_back(Kept{slot.pos & LineTable::kPosMask, counting_ ? table.countOf(slot) : 1,
                                repeated ? &table.sumOf(slot) : nullptr});
        });
    }
    // A blank line's position carries kSeenAgain as its mark.
    const auto blankCount = quint64(BlankLineCount(options_, blanks_));
    for (const quint64 pos : loose_)
        kept.push_back(Kept{pos & LineTable::kPosMask,
                            (pos & LineTable::kSeenAgain) ? blankCount : 1, nullptr});
    std::sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) { return a.pos < b.pos; });
    for (const Kept& k : kept) {
        const Segment& s = job_.inputs.at(k.pos);
        const uchar* line = s.data + (qint64(k.pos) - s.base);
        if (!out_.line(s, line, LineLengthAt(job_.inputs, k.pos), k.count,
                       k.sum ? k.sum->text() : QString()))
            return false;
        if (job_.stopped())
            return false;
    }
    return true;
}
