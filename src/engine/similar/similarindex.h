#pragma once

// Folder engine/similar: lines that go for being near repeats of a kept line. The index that
// finds, for a key, the earliest kept key within the allowed edit distance (similarindex), and
// the way of working that decides every line by it (similarfilter).

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Whether two keys of these lengths (in code points) at edit distance d are similar at `percent`:
// 100 * d <= (100 - percent) * max(la, lb), in integers.
inline bool SimilarAt(int percent, qint64 d, qint64 la, qint64 lb) {
    return 100 * d <= (100 - qint64(percent)) * std::max(la, lb);
}

// The largest edit distance that keeps two keys, the longer of which has `longer` code points,
// similar at `percent`.
inline qint64 AllowedDistance(int percent, qint64 longer) {
    return (100 - qint64(percent)) * longer / 100;
}

// The edit distance between a and b (code points) when it is at most `bound`, else bound + 1.
// Only the diagonals within `bound` of the main one are computed, and it stops as soon as no
// path can end within the bound.
qint64 BoundedEditDistance(std::u32string_view a, std::u32string_view b, qint64 bound);

// The kept keys, and for a new key the earliest of them it is similar to. Exact: a kept key of
// length l is cut into τ + 1 pieces, τ the largest distance below l that a partner may be allowed;
// a key within d <= τ of it holds one of the pieces unchanged (d edits touch at most d pieces), at
// a place moved by s from the piece's own where |s| + |Δ - s| <= d (Δ the difference of the
// lengths: the edits before the piece and after it). Where a partner may be allowed l edits or
// more (a half of the longer key at 50%), the keys of that length are all candidates. As each edit
// touches at most one piece, a key within d of one cut into n pieces holds at least n - d of them
// so: a kept key is a candidate once that many of its pieces are found. Candidates are checked by
// their edit distance, earliest first, and the first within the bound is the one.
class SimilarIndex {
public:
    // `stop`, when given, is looked at between candidates: a long key at a low percentage may
    // have many, each of which takes a while.
    explicit SimilarIndex(int percent, const std::atomic<bool>* stop = nullptr);

    // The number (in the order they were added) of the earliest kept key `key` is similar to, or
    // -1; kStopped when the stop was set meanwhile. An empty key is never similar to anything
    // here: blank lines are not compared.
    qint64 find(std::u32string_view key);
    static constexpr qint64 kStopped = -2;
    // Keeps a key; its number is the count of keys added before it.
    void add(std::u32string_view key);

    qint64 size() const { return qint64(starts_.size()) - 1; }
    std::u32string_view keyAt(qint64 id) const {
        const auto from = std::size_t(starts_[std::size_t(id)]);
        return std::u32string_view(pool_).substr(from,
                                                 std::size_t(starts_[std::size_t(id) + 1]) - from);
    }
    // How many candidates had their edit distance computed, in all.
    qint64 verifications() const { return verifications_; }
    // The memory the index holds, in bytes.
    qint64 memoryBytes() const;

private:
    // For keys of length l: the distance their pieces are cut for (-1: none below l), and
    // whether some partner may be allowed l edits or more.
    struct Cut {
        qint64 pieces = -1;
        bool all = false;
    };
    Cut cutFor(qint64 length);
    void insert(quint64 hash, quint32 id);
    // Counts a piece found for each kept key filed under `hash`; a key becomes a candidate when
    // `needed` of its pieces are.
    void lookUp(quint64 hash, quint32 piece, quint32 needed);
    void grow();

    const int percent_;
    const std::atomic<bool>* stop_;
    std::u32string pool_;          // every kept key, one after the other
    std::vector<qint64> starts_;   // where each begins, and the end of the last
    std::vector<qint64> byLength_; // how many kept keys have each length
    std::vector<Cut> cuts_;        // cutFor, by length, made when first asked
    std::vector<bool> cutKnown_;
    // The kept keys of each length whose partners may be allowed that many edits.
    std::unordered_map<qint64, std::vector<quint32>> allOfLength_;
    // Open addressing: the hash of (length, distance, piece, piece's text) and the last posting
    // under it (+1; 0: free). Postings chain to the earlier ones under the same slot.
    struct Slot {
        quint64 hash = 0;
        quint32 head = 0;
    };
    std::vector<Slot> slots_;
    std::size_t used_ = 0;
    std::vector<quint32> ids_;
    std::vector<quint32> next_;
    std::vector<quint32> candidates_;
    // For each kept key, while a key is looked up: the look-up it was last seen in, the piece
    // last found of it and how many were.
    struct Seen {
        quint32 lookUp = 0;
        quint32 piece = 0;
        quint32 found = 0;
    };
    std::vector<Seen> seen_;
    quint32 lookUps_ = 0;
    qint64 verifications_ = 0;
};
