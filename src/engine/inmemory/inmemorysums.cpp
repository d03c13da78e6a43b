// The in-memory way with sums: the kept lines written from the tables after one pass, each copy
// that merges others with its sum.
#include "core/keeprules.h"
#include "engine/inmemory/inmemory.h"
#include "engine/reading/batches.h"

#include <algorithm>

bool InMemory::emitFromTables() {
    struct Kept {
        quint64 pos;
        const LineTable* table;
        const LineTable::Slot* slot; // null for a blank line or one without a key
    };
    std::vector<Kept> kept;
    kept.reserve(std::size_t(tables_[0].size() + tables_[1].size()) + loose_.size());
    for (const LineTable& table : tables_) {
        table.forEach([&](const LineTable::Slot& slot) {
            if (KeepsKey(options_.keep, (slot.pos & LineTable::kSeenAgain) != 0))
                kept.push_back(Kept{slot.pos & LineTable::kPosMask, &table, &slot});
        });
    }
    // A blank line's position carries kSeenAgain as its mark.
    std::vector<quint64> blanks;
    for (const quint64 pos : loose_) {
        kept.push_back(Kept{pos & LineTable::kPosMask, nullptr, nullptr});
        if (pos & LineTable::kSeenAgain)
            blanks.push_back(pos & LineTable::kPosMask);
    }
    std::sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) { return a.pos < b.pos; });
    const auto blankCount = quint64(BlankLineCount(options_, blanks_));
    for (const Kept& k : kept) {
        const Segment& s = job_.inputs.at(k.pos);
        const uchar* line = s.data + (qint64(k.pos) - s.base);
        const qint64 length = LineLengthAt(job_.inputs, k.pos);
        quint64 count = 1;
        QString sum;
        if (!k.slot) {
            if (std::binary_search(blanks.begin(), blanks.end(), k.pos))
                count = blankCount;
        } else {
            if (counting_)
                count = k.table->countOf(*k.slot);
            // A line met once is written as it stands; merged copies with their sum.
            if (k.slot->pos & LineTable::kSeenAgain)
                sum = k.table->sumOf(*k.slot).text();
        }
        if (!out_.line(s, line, length, count, sum))
            return false;
        if (job_.stopped())
            return false;
    }
    return true;
}
