#include "engine/firstcopies.h"

#include <cstring>

FirstCopies::FirstCopies(int chunkShift)
    : chunkShift_(chunkShift), chunkMask_((quint64(1) << chunkShift) - 1) {
    Q_ASSERT((qint64(1) << chunkShift) >= kReadAgainLineBytes);
}

namespace {
// A line copied in words of 8 bytes, the last one overlapping the one before (a line taken is
// longer than 7 bytes), without a call: the library's copy, for a few bytes, may take the
// processor's widest registers, which slowed the threads that decide by a fifth.
inline void CopyLine(uchar* to, const uchar* from, std::size_t n) {
    Q_ASSERT(n >= 8);
    quint64 word = 0;
    for (std::size_t i = 0; i + 8 < n; i += 8) {
        std::memcpy(&word, from + i, 8);
        std::memcpy(to + i, &word, 8);
    }
    std::memcpy(&word, from + n - 8, 8);
    std::memcpy(to + n - 8, &word, 8);
}
} // namespace

bool FirstCopies::add(const uchar* line, qint64 length, quint64* place) {
    Q_ASSERT(length > 0 && length <= qint64(kLengthMask));
    const auto n = quint64(length);
    // A line is never split between two chunks: one that does not fit starts the next.
    if ((used_ & chunkMask_) + n > chunkMask_ + 1 || used_ >> chunkShift_ >= chunks_.size())
        used_ = quint64(chunks_.size()) << chunkShift_;
    if (used_ + n > kOffsetMask)
        return false;
    if (used_ >> chunkShift_ >= chunks_.size())
        chunks_.push_back(std::make_unique_for_overwrite<uchar[]>(std::size_t(1) << chunkShift_));
    CopyLine(chunks_.back().get() + (used_ & chunkMask_), line, n);
    *place = kTag | n << kLengthShift | used_;
    used_ += n;
    return true;
}
