#pragma once

// The files of the partitioned way: the records lines travel in through the partitions, the
// buffers they are written and read through, the keys kept of a partition's distinct lines, and
// the runs of kept lines read back in input order.

#include "engine/reading/linereader.h"
#include "engine/reading/segment.h"
#include "engine/systemfiles.h"
#include "files/writewhole.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <memory>
#include <queue>
#include <vector>

// A line as it travels through a partition: its index among all lines, its key's hash and its
// key (its bytes, or its text's key as UTF-16). A long key stays in the input: the record holds
// where its line is instead (position and length, 16 bytes), and it is read from there when
// needed, so that long lines are not written out and read back once more.
struct RecordHeader {
    quint64 index;
    quint64 hash;
    quint32 keyBytes;        // kOutOfLine: the line's position and length follow instead
    quint32 chars;           // the line's length in characters, where the copy kept is chosen by it
    quint32 summedBytes = 0; // with sums: the summed column's bytes, after the key
};
constexpr qint64 kHeaderBytes = 8 + 8 + 4 + 4 + 4;
// The index of a record of a compared list: this bit, and the list's number.
constexpr quint64 kListRecord = quint64(1) << 63;
constexpr quint32 kOutOfLine = ~quint32(0);
constexpr qint64 kLongestInlineKey = 256;
constexpr qint64 kOutOfLineBytes = 16;

inline qint64 KeyRoom(const RecordHeader& h) {
    return h.keyBytes == kOutOfLine ? kOutOfLineBytes : qint64(h.keyBytes);
}
// The bytes after the header: the key and the summed column.
inline qint64 RecordRoom(const RecordHeader& h) {
    return KeyRoom(h) + qint64(h.summedBytes);
}

// Where an out-of-line key's line is.
struct LinePlace {
    quint64 pos;
    qint64 length;
};
inline LinePlace PlaceOf(const char* key) {
    LinePlace place{};
    std::memcpy(&place.pos, key, 8);
    std::memcpy(&place.length, key + 8, 8);
    return place;
}

// A partition file being written: records collect in a buffer and go to the file in large
// pieces.
struct PartitionWriter {
    std::unique_ptr<QFile> file;
    QByteArray buffer;
    qint64 records = 0;
};

// The buffers of the work, sized from the budget: many partitions, or a small budget, make them
// smaller, so that together they take a small share of it.
constexpr qint64 kLargestWriteBuffer = qint64(256) * 1024;
constexpr qint64 kSmallestBuffer = qint64(4) * 1024;
inline qint64 BufferFor(qint64 share, qint64 count, qint64 largest) {
    return std::clamp(share / std::max<qint64>(count, 1), kSmallestBuffer, largest);
}

inline bool Flush(PartitionWriter& w, qint64 freeAtStart, QString* reason) {
    if (w.buffer.isEmpty())
        return true;
    if (!WriteWhole(*w.file, w.buffer.constData(), w.buffer.size())) {
        *reason = TemporaryWriteFailure(*w.file, freeAtStart);
        return false;
    }
    w.buffer.clear();
    return true;
}

// A record: its header, its key, and its summed column (`summed`, or where null, what follows the
// key at `key`, as a record read holds it).
inline void Append(QByteArray& buffer, const RecordHeader& h, const void* key,
                   const void* summed = nullptr) {
    const qsizetype at = buffer.size();
    buffer.resize(at + qsizetype(kHeaderBytes + RecordRoom(h)));
    char* p = buffer.data() + at;
    std::memcpy(p, &h.index, 8);
    std::memcpy(p + 8, &h.hash, 8);
    std::memcpy(p + 16, &h.keyBytes, 4);
    std::memcpy(p + 20, &h.chars, 4);
    std::memcpy(p + 24, &h.summedBytes, 4);
    std::memcpy(p + kHeaderBytes, key, std::size_t(KeyRoom(h)));
    if (h.summedBytes > 0)
        std::memcpy(p + kHeaderBytes + KeyRoom(h),
                    summed ? summed : static_cast<const char*>(key) + KeyRoom(h),
                    std::size_t(h.summedBytes));
}

inline void AppendOutOfLine(QByteArray& buffer, quint64 index, quint64 hash, LinePlace place,
                            quint32 chars, QByteArrayView summed = {}) {
    char key[kOutOfLineBytes];
    std::memcpy(key, &place.pos, 8);
    std::memcpy(key + 8, &place.length, 8);
    Append(buffer, RecordHeader{index, hash, kOutOfLine, chars, quint32(summed.size())}, key,
           summed.data());
}

// Reads the records of a partition file one by one, in the order they were written.
class RecordReader {
public:
    RecordReader(QFile& file, qint64 bufferBytes) : file_(file) {
        file_.seek(0);
        buffer_.resize(qsizetype(bufferBytes));
    }
    // The next record, its key in `key` (valid until the next call); false at the end.
    bool next(RecordHeader& h, const char** key, bool* failed) {
        if (!fill(kHeaderBytes, failed))
            return false;
        const char* p = buffer_.constData() + at_;
        std::memcpy(&h.index, p, 8);
        std::memcpy(&h.hash, p + 8, 8);
        std::memcpy(&h.keyBytes, p + 16, 4);
        std::memcpy(&h.chars, p + 20, 4);
        std::memcpy(&h.summedBytes, p + 24, 4);
        if (!fill(kHeaderBytes + RecordRoom(h), failed)) {
            *failed = true;
            return false;
        }
        *key = buffer_.constData() + at_ + kHeaderBytes;
        at_ += kHeaderBytes + RecordRoom(h);
        bytesRead_ += kHeaderBytes + RecordRoom(h);
        ++count_;
        if (aheadCount_ > 0)
            --aheadCount_;
        else
            ahead_ = at_;
        return true;
    }
    qint64 bytesRead() const { return bytesRead_; }
    // How many records were read: the number of the one read last, from 1.
    qint64 count() const { return count_; }
    // Calls `f` with the number and the hash of each record up to `distance` records after the
    // one read last that it was not called with yet, as far as they are in the buffer: for
    // fetching early what they will be looked up in.
    template <typename F> void lookAhead(int distance, F&& f) {
        while (aheadCount_ < distance && end_ - ahead_ >= kHeaderBytes) {
            const char* p = buffer_.constData() + ahead_;
            RecordHeader h{};
            std::memcpy(&h.hash, p + 8, 8);
            std::memcpy(&h.keyBytes, p + 16, 4);
            std::memcpy(&h.summedBytes, p + 24, 4);
            if (end_ - ahead_ < kHeaderBytes + RecordRoom(h))
                return;
            ++aheadCount_;
            f(count_ + aheadCount_, h.hash);
            ahead_ += kHeaderBytes + RecordRoom(h);
        }
    }

private:
    // Makes `bytes` bytes available at at_; false at the end of the file.
    bool fill(qint64 bytes, bool* failed) {
        if (end_ - at_ >= bytes)
            return true;
        std::memmove(buffer_.data(), buffer_.constData() + at_, std::size_t(end_ - at_));
        end_ -= at_;
        ahead_ -= at_;
        at_ = 0;
        if (buffer_.size() < bytes)
            buffer_.resize(qsizetype(bytes));
        while (end_ < bytes) {
            const qint64 got = file_.read(buffer_.data() + end_, buffer_.size() - end_);
            if (got < 0)
                *failed = true;
            if (got <= 0)
                return false;
            end_ += got;
        }
        return true;
    }

    QFile& file_;
    QByteArray buffer_;
    qint64 at_ = 0;
    qint64 end_ = 0;
    qint64 bytesRead_ = 0;
    qint64 count_ = 0;
    qint64 ahead_ = 0;   // where the record after those looked ahead at starts
    int aheadCount_ = 0; // the records looked ahead at, after the one read last
};

// Keys of distinct lines, kept in large blocks so that they never move.
class KeyArena {
public:
    explicit KeyArena(qint64 blockSize) : blockSize_(blockSize) {}
    const char* add(const char* key, qint64 size) {
        if (blocks_.empty() || used_ + size > blockSize_) {
            const qint64 size_ = std::max(blockSize_, size);
            blocks_.push_back(std::make_unique<char[]>(std::size_t(size_)));
            bytes_ += size_;
            used_ = 0;
        }
        char* at = blocks_.back().get() + used_;
        std::memcpy(at, key, std::size_t(size));
        used_ += size;
        keyBytes_ += size;
        return at;
    }
    qint64 bytes() const { return bytes_; }
    qint64 keyBytes() const { return keyBytes_; } // of the keys added

private:
    const qint64 blockSize_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    qint64 used_ = 0;
    qint64 bytes_ = 0;
    qint64 keyBytes_ = 0;
};

// A kept line's sum in a run: its text held in the value itself where it is at most 15
// characters (each a nibble: a digit, '-' or '.'; the top nibble 0xF marks it, unused places
// 0xF), else where it is in the file of sums.
constexpr int kInlineSumChars = 15;
inline bool PackSum(QByteArrayView text, quint64* value) {
    if (text.size() > kInlineSumChars)
        return false;
    quint64 packed = ~quint64(0);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const quint64 nibble = c == '-' ? 10 : c == '.' ? 11 : quint64(c - '0');
        const int shift = 4 * (kInlineSumChars - 1 - int(i));
        packed = (packed & ~(quint64(0xF) << shift)) | (nibble << shift);
    }
    *value = packed;
    return true;
}
inline bool IsPackedSum(quint64 value) {
    return (value >> 60) == 0xF;
}
inline QString UnpackSum(quint64 value) {
    QString text;
    for (int i = 0; i < kInlineSumChars; ++i) {
        const auto nibble = int((value >> (4 * (kInlineSumChars - 1 - i))) & 0xF);
        if (nibble == 0xF)
            break;
        text += nibble == 10 ? u'-' : nibble == 11 ? u'.' : QChar(u'0' + nibble);
    }
    return text;
}

// A line kept by a partition and how often it occurs.
struct Kept {
    quint64 index;
    quint64 count;
};

// Keeps the `most` most frequent lines (ties: the earliest first).
inline void ByCount(std::vector<Kept>& lines, std::size_t most) {
    auto byCount = [](const Kept& a, const Kept& b) {
        return a.count != b.count ? a.count > b.count : a.index < b.index;
    };
    if (lines.size() > most) {
        std::nth_element(lines.begin(), lines.begin() + qsizetype(most), lines.end(), byCount);
        lines.resize(most);
    }
}

// Reads one run of (index, value) pairs in index order: the kept lines of a partition, or the
// removed ones.
class KeptStream {
public:
    KeptStream(QFile& file, qint64 offset, qint64 items, qint64 chunk)
        : file_(&file), offset_(offset), left_(items), chunk_(chunk) {}
    // The next pair; false at the end of the run, or when it could not be read (failed()).
    bool next(Kept& k) {
        if (at_ == items_.size()) {
            if (left_ == 0)
                return false;
            const qint64 n = std::min<qint64>(left_, chunk_);
            items_.resize(std::size_t(n));
            const auto bytes = qint64(n * qint64(sizeof(Kept)));
            if (!file_->seek(offset_) ||
                file_->read(reinterpret_cast<char*>(items_.data()), bytes) != bytes) {
                failed_ = true;
                return false;
            }
            offset_ += bytes;
            left_ -= n;
            at_ = 0;
        }
        k = items_[at_++];
        return true;
    }
    bool failed() const { return failed_; }
    QFile& file() const { return *file_; }

private:
    QFile* file_;
    qint64 offset_;
    qint64 left_;
    qint64 chunk_; // how many are read at once
    std::vector<Kept> items_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

// Where a run of pairs is: in which file, from where, how many.
struct KeptRun {
    QFile* file;
    qint64 offset;
    qint64 items;
};

// Several runs, each in index order, read together as one in index order.
class MergedRuns {
public:
    // The runs are read a piece at a time, all of them at once: together about `bytes`.
    MergedRuns(const std::vector<KeptRun>& runs, qint64 bytes) {
        const qint64 chunk = std::clamp<qint64>(
            bytes / std::max<qint64>(qint64(runs.size()), 1) / qint64(sizeof(Kept)), 16, 1024);
        streams_.reserve(runs.size());
        values_.resize(runs.size());
        for (const KeptRun& run : runs) {
            streams_.emplace_back(*run.file, run.offset, run.items, chunk);
            pull(streams_.size() - 1);
        }
    }
    // The value for this index, when the next pair has it: that pair is taken.
    bool take(quint64 index, quint64* value) {
        if (heads_.empty() || heads_.top().first != index)
            return false;
        const std::size_t stream = heads_.top().second;
        heads_.pop();
        *value = values_[stream];
        pull(stream);
        return true;
    }
    // The file of a run that could not be read, or null.
    QFile* failedFile() const {
        for (const KeptStream& s : streams_) {
            if (s.failed())
                return &s.file();
        }
        return nullptr;
    }

private:
    void pull(std::size_t stream) {
        Kept k{};
        if (streams_[stream].next(k)) {
            heads_.emplace(k.index, stream);
            values_[stream] = k.count;
        }
    }

    using Head = std::pair<quint64, std::size_t>; // index, stream
    std::vector<KeptStream> streams_;
    std::vector<quint64> values_;
    std::priority_queue<Head, std::vector<Head>, std::greater<>> heads_;
};

// Keys that stay in the input (out of line), read again from there when they are compared: from
// a file by a plain read, which leaves no page of it in the program's memory.
class KeysInInput {
public:
    KeysInInput(const SegmentList& inputs, const FilterOptions& options, KeyWay way)
        : inputs_(inputs), keyIsLine_(way == KeyWay::Bytes), keys_(options, way) {}
    // A record's key: its own bytes, or for an out-of-line key the line's key read from the input
    // (into one of two buffers, 0 or 1, valid until that buffer is used again).
    QByteArrayView keyOf(quint32 keyBytes, const char* key, int buffer);
    // True when two long lines hold the same bytes, compared a piece at a time.
    bool sameLines(LinePlace a, LinePlace b);
    // True once a line could not be read again (its file shrank meanwhile).
    bool readFailed() const { return readFailed_; }

private:
    const SegmentList& inputs_;
    bool keyIsLine_;
    LineReader keys_;
    QByteArray lineBytes_[2];
    bool readFailed_ = false;
};
