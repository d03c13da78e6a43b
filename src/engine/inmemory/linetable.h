#pragma once

#include "core/order/decimalsum.h"

#include <QtGlobal>

#include <vector>

// A flat open-addressing set of lines: for each distinct line its hash and the position of one
// copy of it in the input (where its bytes can be compared), and, when asked, how often it
// occurs. 16 bytes a slot, 24 with counts.
class LineTable {
public:
    struct Slot {
        quint64 hash;
        quint64 pos; // kFree when the slot is free; kSeenAgain marks a line met more than once
    };
    static constexpr quint64 kFree = ~quint64(0);
    static constexpr quint64 kSeenAgain = quint64(1) << 62;
    static constexpr quint64 kPosMask = kSeenAgain - 1;

    explicit LineTable(bool withCounts) : withCounts_(withCounts) { allocate(1024); }
    // With `lines`, two numbers more for each line: the index of the line its slot points to, and
    // of its second copy (as index + 1; 0 while there is none).
    LineTable(bool withCounts, bool lines) : withCounts_(withCounts), withLines_(lines) {
        allocate(1024);
    }
    // With `chars`, one number more: the length in characters of the copy its slot points to.
    // With `sums`, the exact sum of each line's summed column (see core/sumcolumn.h).
    LineTable(bool withCounts, bool lines, bool chars, bool sums = false)
        : withCounts_(withCounts), withLines_(lines), withChars_(chars), withSums_(sums) {
        allocate(1024);
    }

    // Finds the slot of the line with this hash for which same(pos) holds, or takes a free slot
    // for it with `pos`. Sets *inserted accordingly. Never grows: call reserveOne() first.
    template <typename Same>
    Slot& findOrInsert(quint64 hash, quint64 pos, Same&& same, bool* inserted);
    // The slot whose line has this hash and this first (or last) position, or null.
    const Slot* findAt(quint64 hash, quint64 pos) const;
    // The slot of the line with this hash for which same(pos) holds, or null.
    template <typename Same> const Slot* find(quint64 hash, Same&& same) const;

    // Makes room for `lines` lines in all without growing.
    void reserve(qint64 lines);
    // Makes room for one more line; returns false when that would pass `limitBytes`.
    bool reserveOne(qint64 limitBytes) {
        // At most three quarters full.
        return std::size_t(size_ + 1) * 4 <= slots_.size() * 3 || grow(limitBytes);
    }
    qint64 bytes() const {
        return qint64(slots_.size()) * (16 + (withCounts_ ? 8 : 0) + (withLines_ ? 16 : 0) +
                                        (withChars_ ? 8 : 0) + (withSums_ ? kSumBytes : 0));
    }
    // A sum's room in a slot, besides the digits of a long one.
    static constexpr qint64 kSumBytes = qint64(sizeof(DecimalSum));
    qint64 bytesAfterGrowth() const { return bytes() * 3; } // the old and the new slots at once
    qint64 size() const { return size_; }

    // How often the line occurs (or, for a table that keeps something else with each line, that).
    quint64& countOf(const Slot& slot) { return counts_[std::size_t(&slot - slots_.data())]; }
    quint64 countOf(const Slot& slot) const { return counts_[std::size_t(&slot - slots_.data())]; }
    // With `lines`: the index of the line the slot points to, and of the line's second copy + 1.
    quint64& lineOf(const Slot& slot) { return lines_[2 * std::size_t(&slot - slots_.data())]; }
    quint64 lineOf(const Slot& slot) const {
        return lines_[2 * std::size_t(&slot - slots_.data())];
    }
    quint64& secondOf(const Slot& slot) {
        return lines_[2 * std::size_t(&slot - slots_.data()) + 1];
    }
    quint64 secondOf(const Slot& slot) const {
        return lines_[2 * std::size_t(&slot - slots_.data()) + 1];
    }

    // With `chars`: the length in characters of the copy the slot points to.
    quint64& charsOf(const Slot& slot) { return chars_[std::size_t(&slot - slots_.data())]; }
    // With `sums`: the sum of the line's summed column over its copies so far.
    DecimalSum& sumOf(const Slot& slot) { return sums_[std::size_t(&slot - slots_.data())]; }
    const DecimalSum& sumOf(const Slot& slot) const {
        return sums_[std::size_t(&slot - slots_.data())];
    }

    void prefetch(quint64 hash) const {
        __builtin_prefetch(&slots_[hash & mask_]);
        if (withCounts_)
            __builtin_prefetch(&counts_[hash & mask_]);
        if (withSums_)
            __builtin_prefetch(&sums_[hash & mask_]);
    }
    // The position in the slot where a line with this hash would be looked for first (kFree
    // when that slot is free or holds another hash).
    quint64 homePosition(quint64 hash) const {
        const Slot& slot = slots_[hash & mask_];
        return slot.hash == hash ? slot.pos : kFree;
    }

    template <typename Visit> void forEach(Visit&& visit) const {
        for (const Slot& slot : slots_) {
            if (slot.pos != kFree)
                visit(slot);
        }
    }

private:
    void allocate(std::size_t capacity);
    // Doubles the slots for reserveOne(); false when that would pass `limitBytes`.
    bool grow(qint64 limitBytes);

    bool withCounts_;
    bool withLines_ = false;
    bool withChars_ = false;
    bool withSums_ = false;
    std::vector<Slot> slots_;
    std::vector<DecimalSum> sums_; // one a slot, with `sums`; a free slot's is zero
    std::vector<quint64> chars_;   // one a slot, with `chars`
    std::vector<quint64> counts_;
    std::vector<quint64> lines_; // two a slot, with `lines`
    std::size_t mask_ = 0;
    qint64 size_ = 0;
};

template <typename Same>
LineTable::Slot& LineTable::findOrInsert(quint64 hash, quint64 pos, Same&& same, bool* inserted) {
    std::size_t at = hash & mask_;
    while (true) {
        Slot& slot = slots_[at];
        if (slot.pos == kFree) {
            slot = Slot{hash, pos};
            if (withCounts_)
                counts_[at] = 1;
            if (withLines_)
                lines_[2 * at + 1] = 0;
            ++size_;
            *inserted = true;
            return slot;
        }
        if (slot.hash == hash && same(slot.pos & kPosMask)) {
            *inserted = false;
            return slot;
        }
        at = (at + 1) & mask_;
    }
}

template <typename Same> const LineTable::Slot* LineTable::find(quint64 hash, Same&& same) const {
    std::size_t at = hash & mask_;
    while (true) {
        const Slot& slot = slots_[at];
        if (slot.pos == kFree)
            return nullptr;
        if (slot.hash == hash && same(slot.pos & kPosMask))
            return &slot;
        at = (at + 1) & mask_;
    }
}

inline const LineTable::Slot* LineTable::findAt(quint64 hash, quint64 pos) const {
    std::size_t at = hash & mask_;
    while (true) {
        const Slot& slot = slots_[at];
        if (slot.pos == kFree)
            return nullptr;
        if (slot.hash == hash && (slot.pos & kPosMask) == pos)
            return &slot;
        at = (at + 1) & mask_;
    }
}

// What the first lines of an input tell of how many different ones it holds: new lines among
// the first and the second half of a sample of `lines` lines, and `found` different ones after
// `read` lines (at least `lines`).
struct DistinctSample {
    qint64 lines = 0;
    qint64 early = 0;
    qint64 late = 0;
    qint64 read = 0;
    qint64 found = 0;
};
// How many different lines `total` lines are expected to hold: rather more than fewer, so that a
// table sized for them seldom grows.
qint64 ExpectedDistinctLines(const DistinctSample& sample, qint64 total);
