#include "engine/inmemory/firstcopies.h"

FirstCopies::FirstCopies(int chunkShift)
    : chunkShift_(chunkShift), chunkMask_((quint64(1) << chunkShift) - 1) {
    Q_ASSERT((qint64(1) << chunkShift) >= kReadAgainLineBytes);
}

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
    CopyLineBytes(chunks_.back().get() + (used_ & chunkMask_), line, length);
    *place = kTag | n << kLengthShift | used_;
    used_ += n;
    return true;
}
