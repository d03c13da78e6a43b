#include "engine/similar/similarindex.h"

#include <xxhash.h>

#include <cstdlib>

namespace {

// Cuts for lengths up to this are remembered; longer keys are rare and have theirs made again.
constexpr qint64 kRememberedCuts = 4096;

// a / b rounded down and up, b > 0, for any sign of a.
qint64 FloorDiv(qint64 a, qint64 b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
qint64 CeilDiv(qint64 a, qint64 b) {
    return -FloorDiv(-a, b);
}

// Where piece i of n of a key of length l starts, and its length: the first pieces are a code
// point shorter than the last l % n.
struct Piece {
    qint64 start;
    qint64 length;
};
Piece PieceOf(qint64 l, qint64 n, qint64 i) {
    const qint64 base = l / n;
    const qint64 shortOnes = n - l % n;
    return {i * base + std::max<qint64>(0, i - shortOnes), base + (i >= shortOnes ? 1 : 0)};
}

// The hash a piece is filed under: its key's length, the number of pieces, its place among them
// and its text. Two pieces that differ may share it; that only makes a candidate more to check.
quint64 PieceHash(qint64 l, qint64 n, qint64 i, const char32_t* text, qint64 length) {
    const quint64 seed = quint64(l) * 0x9E3779B97F4A7C15ULL ^ quint64(n) * 0xC2B2AE3D27D4EB4FULL ^
                         quint64(i) * 0x165667B19E3779F9ULL;
    const quint64 hash = XXH3_64bits_withSeed(text, std::size_t(length) * sizeof(char32_t), seed);
    return hash == 0 ? 1 : hash;
}

} // namespace

qint64 BoundedEditDistance(std::u32string_view a, std::u32string_view b, qint64 bound) {
    if (a.size() > b.size())
        std::swap(a, b);
    const auto la = qint64(a.size());
    const auto lb = qint64(b.size());
    if (lb - la > bound)
        return bound + 1;
    if (a == b)
        return 0;
    if (bound <= 0)
        return bound + 1;
    const qint64 over = bound + 1;
    // Row i holds the distances of a's first i code points to b's first j, for j within `bound`
    // of i; outside the band a cell is over the bound.
    std::vector<qint64> row(std::size_t(lb) + 1, over);
    std::vector<qint64> next(std::size_t(lb) + 1, over);
    for (qint64 j = 0; j <= std::min(lb, bound); ++j)
        row[std::size_t(j)] = j;
    for (qint64 i = 1; i <= la; ++i) {
        const qint64 from = std::max<qint64>(0, i - bound);
        const qint64 to = std::min(lb, i + bound);
        if (from > 0)
            next[std::size_t(from) - 1] = over;
        // The least that any path through this row still costs at its end.
        qint64 least = over;
        for (qint64 j = from; j <= to; ++j) {
            qint64 cell = over;
            if (j == 0) {
                cell = i;
            } else {
                cell = row[std::size_t(j) - 1] +
                       (a[std::size_t(i) - 1] == b[std::size_t(j) - 1] ? 0 : 1);
                cell = std::min(cell, row[std::size_t(j)] + 1);
                cell = std::min(cell, next[std::size_t(j) - 1] + 1);
            }
            cell = std::min(cell, over);
            next[std::size_t(j)] = cell;
            const qint64 rest = std::abs((lb - j) - (la - i));
            least = std::min(least, cell + rest);
        }
        if (to < lb)
            next[std::size_t(to) + 1] = over;
        if (least > bound)
            return over;
        std::swap(row, next);
    }
    return std::min(row[std::size_t(lb)], over);
}

SimilarIndex::SimilarIndex(int percent, const std::atomic<bool>* stop)
    : percent_(percent), stop_(stop), starts_{0}, slots_(1024) {}

SimilarIndex::Cut SimilarIndex::cutFor(qint64 length) {
    if (length < kRememberedCuts && length < qint64(cutKnown_.size()) &&
        cutKnown_[std::size_t(length)])
        return cuts_[std::size_t(length)];
    // The partners are no shorter than l - k(l) (allowed k(l)) and no longer than 100 l / P
    // (allowed k(L)); what they are allowed grows with their length.
    Cut cut;
    const qint64 longest = length * 100 / percent_;
    for (qint64 partner = longest; partner >= length; --partner) {
        const qint64 allowed = AllowedDistance(percent_, partner);
        if (allowed >= length) {
            cut.all = true;
            continue;
        }
        cut.pieces = allowed;
        break;
    }
    if (length < kRememberedCuts) {
        if (qint64(cutKnown_.size()) <= length) {
            cutKnown_.resize(std::size_t(length) + 1, false);
            cuts_.resize(std::size_t(length) + 1);
        }
        cutKnown_[std::size_t(length)] = true;
        cuts_[std::size_t(length)] = cut;
    }
    return cut;
}

void SimilarIndex::grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.head == 0)
            continue;
        std::size_t at = std::size_t(slot.hash) & mask;
        while (slots_[at].head != 0)
            at = (at + 1) & mask;
        slots_[at] = slot;
    }
}

void SimilarIndex::insert(quint64 hash, quint32 id) {
    if ((used_ + 1) * 2 > slots_.size())
        grow();
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = std::size_t(hash) & mask;
    while (slots_[at].head != 0 && slots_[at].hash != hash)
        at = (at + 1) & mask;
    Slot& slot = slots_[at];
    if (slot.head == 0) {
        slot.hash = hash;
        ++used_;
    }
    ids_.push_back(id);
    next_.push_back(slot.head);
    slot.head = quint32(ids_.size());
}

void SimilarIndex::lookUp(quint64 hash, quint32 piece, quint32 needed) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = std::size_t(hash) & mask;
    while (slots_[at].head != 0 && slots_[at].hash != hash)
        at = (at + 1) & mask;
    for (quint32 posting = slots_[at].head; posting != 0; posting = next_[posting - 1]) {
        const quint32 id = ids_[posting - 1];
        Seen& seen = seen_[id];
        if (seen.lookUp != lookUps_)
            seen = Seen{lookUps_, 0, 0};
        else if (seen.piece == piece + 1)
            continue; // the same piece found at another place counts once
        seen.piece = piece + 1;
        if (++seen.found == needed)
            candidates_.push_back(id);
    }
}

void SimilarIndex::add(std::u32string_view key) {
    const auto id = quint32(size());
    const auto l = qint64(key.size());
    pool_.append(key);
    seen_.emplace_back();
    starts_.push_back(qint64(pool_.size()));
    if (qint64(byLength_.size()) <= l)
        byLength_.resize(std::size_t(l) + 1, 0);
    ++byLength_[std::size_t(l)];
    const Cut cut = cutFor(l);
    if (cut.all)
        allOfLength_[l].push_back(id);
    if (cut.pieces < 0)
        return;
    const qint64 n = cut.pieces + 1;
    for (qint64 i = 0; i < n; ++i) {
        const Piece piece = PieceOf(l, n, i);
        insert(PieceHash(l, n, i, key.data() + piece.start, piece.length), id);
    }
}

qint64 SimilarIndex::find(std::u32string_view key) {
    const auto length = qint64(key.size());
    if (length == 0)
        return -1;
    candidates_.clear();
    if (++lookUps_ == 0) { // counted round: forget every mark
        std::fill(seen_.begin(), seen_.end(), Seen{});
        lookUps_ = 1;
    }
    const qint64 shortest = length - AllowedDistance(percent_, length);
    const qint64 longest = std::min(length * 100 / percent_, qint64(byLength_.size()) - 1);
    for (qint64 l = std::max<qint64>(1, shortest); l <= longest; ++l) {
        if (byLength_[std::size_t(l)] == 0)
            continue;
        const qint64 allowed = AllowedDistance(percent_, std::max(length, l));
        const qint64 delta = length - l;
        if (std::abs(delta) > allowed)
            continue;
        const Cut cut = cutFor(l);
        if (allowed >= l) {
            // Any key of that length may be within reach.
            if (const auto all = allOfLength_.find(l); all != allOfLength_.end())
                candidates_.insert(candidates_.end(), all->second.begin(), all->second.end());
            continue;
        }
        const qint64 n = cut.pieces + 1;
        const auto needed = quint32(std::max<qint64>(1, n - allowed));
        // A piece unchanged in the key moved by s, with |s| + |delta - s| <= allowed.
        const qint64 lowShift = CeilDiv(delta - allowed, 2);
        const qint64 highShift = FloorDiv(delta + allowed, 2);
        for (qint64 i = 0; i < n; ++i) {
            const Piece piece = PieceOf(l, n, i);
            const qint64 from = std::max<qint64>(0, piece.start + lowShift);
            const qint64 to = std::min(length - piece.length, piece.start + highShift);
            for (qint64 at = from; at <= to; ++at)
                lookUp(PieceHash(l, n, i, key.data() + at, piece.length), quint32(i), needed);
        }
    }
    // Each is in the list once: a key of the lists by length is in no piece's.
    std::sort(candidates_.begin(), candidates_.end());
    for (const quint32 id : candidates_) {
        const std::u32string_view kept = keyAt(id);
        const qint64 bound = AllowedDistance(percent_, std::max(length, qint64(kept.size())));
        if (stop_ && stop_->load(std::memory_order_relaxed))
            return kStopped;
        ++verifications_;
        if (BoundedEditDistance(key, kept, bound) <= bound)
            return id;
    }
    return -1;
}

qint64 SimilarIndex::memoryBytes() const {
    qint64 lists = 0;
    for (const auto& [length, ids] : allOfLength_)
        lists += qint64(ids.capacity() * sizeof(quint32)) + 64;
    return qint64(pool_.capacity() * sizeof(char32_t) + starts_.capacity() * sizeof(qint64) +
                  byLength_.capacity() * sizeof(qint64) + slots_.capacity() * sizeof(Slot) +
                  (ids_.capacity() + next_.capacity()) * sizeof(quint32) +
                  seen_.capacity() * sizeof(Seen)) +
           lists;
}
