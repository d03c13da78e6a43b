#include "engine/inmemory/linetable.h"

#include <algorithm>
#include <cmath>

void LineTable::allocate(std::size_t capacity) {
    slots_.assign(capacity, Slot{0, kFree});
    if (withCounts_)
        counts_.assign(capacity, 0);
    if (withLines_)
        lines_.assign(2 * capacity, 0);
    if (withChars_)
        chars_.assign(capacity, 0);
    if (withSums_)
        sums_.assign(capacity, DecimalSum());
    mask_ = capacity - 1;
    size_ = 0;
}

void LineTable::reserve(qint64 lines) {
    std::size_t capacity = slots_.size();
    while (std::size_t(lines) * 4 > capacity * 3)
        capacity *= 2;
    if (capacity == slots_.size())
        return;
    std::vector<Slot> old = std::move(slots_);
    std::vector<quint64> oldCounts = std::move(counts_);
    std::vector<quint64> oldLines = std::move(lines_);
    std::vector<quint64> oldChars = std::move(chars_);
    std::vector<DecimalSum> oldSums = std::move(sums_);
    allocate(capacity);
    for (std::size_t i = 0; i < old.size(); ++i) {
        if (old[i].pos == kFree)
            continue;
        std::size_t at = old[i].hash & mask_;
        while (slots_[at].pos != kFree)
            at = (at + 1) & mask_;
        slots_[at] = old[i];
        if (withCounts_)
            counts_[at] = oldCounts[i];
        if (withLines_) {
            lines_[2 * at] = oldLines[2 * i];
            lines_[2 * at + 1] = oldLines[2 * i + 1];
        }
        if (withChars_)
            chars_[at] = oldChars[i];
        if (withSums_)
            sums_[at] = std::move(oldSums[i]);
        ++size_;
    }
}

bool LineTable::grow(qint64 limitBytes) {
    if (bytesAfterGrowth() > limitBytes)
        return false;
    reserve(qint64(slots_.size()));
    return true;
}

qint64 ExpectedDistinctLines(const DistinctSample& sample, qint64 total) {
    const qint64 half = sample.lines - sample.lines / 2;
    if (half <= 0 || total <= sample.read)
        return sample.found;
    // As many new lines to come, for each line, as in the second half of the sample: the share
    // only falls as lines repeat, so this is never short of the lines still to come.
    const auto rest = double(total - sample.read);
    qint64 expected = sample.found + qint64(rest * double(sample.late) / double(half));
    // Where the second half brought clearly fewer new lines than the first (words of a language,
    // codes from a set being used up), their count grows as a power of the lines read, the power
    // taken from the two halves. For a set that runs out that still overestimates, by less;
    // lines that come in another order make the table grow later.
    if (sample.early > 0 && sample.late * 8 < sample.early * 7) {
        const double power = std::log2(double(sample.early + sample.late) / double(sample.early));
        const double grown =
            double(sample.found) * std::pow(double(total) / double(sample.read), power);
        expected = std::min(expected, qint64(grown));
    }
    return std::max(expected, sample.found);
}
