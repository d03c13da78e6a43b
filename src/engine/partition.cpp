#include "engine/engine_p.h"

#include "files/reasons.h"
#include "files/writewhole.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <queue>

namespace {

// A line as it travels through a partition: its index among all lines, its key's hash and its
// key (its bytes, or its text's key as UTF-16). A long key stays in the input: the record holds
// where its line is instead (position and length, 16 bytes), and it is read from there when
// needed, so that long lines are not written out and read back once more.
struct RecordHeader {
    quint64 index;
    quint64 hash;
    quint32 keyBytes; // kOutOfLine: the line's position and length follow instead
};
constexpr qint64 kHeaderBytes = 8 + 8 + 4;
constexpr quint32 kOutOfLine = ~quint32(0);
constexpr qint64 kLongestInlineKey = 256;
constexpr qint64 kOutOfLineBytes = 16;

qint64 KeyRoom(const RecordHeader& h) {
    return h.keyBytes == kOutOfLine ? kOutOfLineBytes : qint64(h.keyBytes);
}

// Where an out-of-line key's line is.
struct LinePlace {
    quint64 pos;
    qint64 length;
};
LinePlace PlaceOf(const char* key) {
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
qint64 BufferFor(qint64 share, qint64 count, qint64 largest) {
    return std::clamp(share / std::max<qint64>(count, 1), kSmallestBuffer, largest);
}

bool Flush(PartitionWriter& w, qint64 freeAtStart, QString* reason) {
    if (w.buffer.isEmpty())
        return true;
    if (!WriteWhole(*w.file, w.buffer.constData(), w.buffer.size())) {
        *reason = TemporaryWriteFailure(*w.file, freeAtStart);
        return false;
    }
    w.buffer.clear();
    return true;
}

void Append(QByteArray& buffer, const RecordHeader& h, const void* key) {
    buffer.append(reinterpret_cast<const char*>(&h.index), 8);
    buffer.append(reinterpret_cast<const char*>(&h.hash), 8);
    buffer.append(reinterpret_cast<const char*>(&h.keyBytes), 4);
    buffer.append(static_cast<const char*>(key), qsizetype(KeyRoom(h)));
}

void AppendOutOfLine(QByteArray& buffer, quint64 index, quint64 hash, LinePlace place) {
    char key[kOutOfLineBytes];
    std::memcpy(key, &place.pos, 8);
    std::memcpy(key + 8, &place.length, 8);
    Append(buffer, RecordHeader{index, hash, kOutOfLine}, key);
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
        if (!fill(kHeaderBytes + KeyRoom(h), failed)) {
            *failed = true;
            return false;
        }
        *key = buffer_.constData() + at_ + kHeaderBytes;
        at_ += kHeaderBytes + KeyRoom(h);
        bytesRead_ += kHeaderBytes + KeyRoom(h);
        return true;
    }
    qint64 bytesRead() const { return bytesRead_; }

private:
    // Makes `bytes` bytes available at at_; false at the end of the file.
    bool fill(qint64 bytes, bool* failed) {
        if (end_ - at_ >= bytes)
            return true;
        std::memmove(buffer_.data(), buffer_.constData() + at_, std::size_t(end_ - at_));
        end_ -= at_;
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
        return at;
    }
    qint64 bytes() const { return bytes_; }

private:
    const qint64 blockSize_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    qint64 used_ = 0;
    qint64 bytes_ = 0;
};

// A line kept by a partition and how often it occurs.
struct Kept {
    quint64 index;
    quint64 count;
};

// Keeps the `most` most frequent lines (ties: the earliest first).
void ByCount(std::vector<Kept>& lines, std::size_t most) {
    auto byCount = [](const Kept& a, const Kept& b) {
        return a.count != b.count ? a.count > b.count : a.index < b.index;
    };
    if (lines.size() > most) {
        std::nth_element(lines.begin(), lines.begin() + qsizetype(most), lines.end(), byCount);
        lines.resize(most);
    }
}

// Partitions are not made smaller than these, whatever the budget: at first, and by splitting.
constexpr qint64 kSmallestPartition = qint64(1) << 20;
constexpr qint64 kSmallestSplit = qint64(64) << 10;
constexpr std::size_t kFewestToSplit = 1024;
// The files open besides the first partitions: the program's own, the inputs, the kept lines and
// the splits of two partitions at once.
constexpr qint64 kFilesBesidePartitions = 64;

struct Partition {
    std::unique_ptr<QFile> file;
    int shift = 0; // the hash bits that chose this partition's children start below this
};

class Partitioned {
public:
    Partitioned(EngineJob& job, Emitter& out)
        : job_(job), out_(out), options_(job.settings.options) {}
    EngineResult run();

private:
    bool scatter(int bits, QString* reason);
    bool finishAll(QString* reason);
    bool finish(Partition& partition, QString* reason, std::vector<Partition>* children);
    bool split(Partition& partition, QString* reason, std::vector<Partition>* children);
    bool gather(QString* reason);
    std::unique_ptr<QFile> tempFile(QString* reason) {
        return CreateHiddenTempFile(job_.settings.tempDir, reason);
    }
    // Pass two reads records, which take more or less room than the input: its progress is
    // counted in the input's bytes.
    bool advanceRecords(qint64 recordBytes) {
        const double share = recordBytes_ > 0 ? double(recordBytes) / double(recordBytes_) : 0;
        return advance(qint64(share * double(job_.inputs.totalBytes)));
    }
    bool advance(qint64 bytes) {
        std::lock_guard lock(progressMutex_);
        if (cancelled_)
            return false;
        if (!job_.advance(bytes))
            cancelled_ = true;
        return !cancelled_;
    }

    EngineJob& job_;
    Emitter& out_;
    const FilterOptions options_;
    qint64 linesRead_ = 0;
    qint64 blanks_ = 0;
    std::vector<Partition> partitions_;

    std::mutex mutex_; // guards what the two workers share below
    std::deque<Partition> queue_;
    // The lines each finished partition keeps, in index order: runs in one file.
    std::unique_ptr<QFile> keptFile_;
    struct Run {
        qint64 offset;
        qint64 items;
    };
    std::vector<Run> keptRuns_;
    qint64 distinct_ = 0;
    qint64 repeated_ = 0;
    std::vector<Kept> repeats_; // most frequent repeated lines: count and kept index
    std::vector<RepeatedLine> repeatTexts_;
    std::mutex progressMutex_;
    bool cancelled_ = false;
    bool outputFailed_ = false;
    int finished_ = 0;
    qint64 recordBytes_ = 0;  // written by pass one
    qint64 freeAtStart_ = -1; // room on the temporary folder's disk when the work began
    qint64 writeBuffer_ = kLargestWriteBuffer; // of each partition being written
    qint64 readBuffer_ = qint64(4) << 20;      // of each partition being read
};

// Pass one: every non-blank line goes to the partition its hash chooses.
bool Partitioned::scatter(int bits, QString* reason) {
    std::vector<PartitionWriter> writers(std::size_t(1) << bits);
    for (PartitionWriter& w : writers) {
        w.file = tempFile(reason);
        if (!w.file)
            return false;
        w.buffer.reserve(writeBuffer_ + 4096);
    }
    LineReader reader0(options_, job_.byText), reader1(options_, job_.byText);
    LineReader keys(options_, job_.byText);
    Helper helper;
    std::vector<LineRef> lines, scratch;
    const int shift = 64 - bits;
    LineBreakCounts breaks;
    const bool ok =
        ForEachBatch(job_.inputs, [&](const Segment& s, const uchar* from, const uchar* to) {
            SplitBatch(s, from, to, reader0, reader1, helper, lines, scratch);
            for (const LineRef& line : lines) {
                const auto index = quint64(linesRead_++);
                const uchar* bytes = s.data + (qint64(line.pos) - s.base);
                CountBreakAfter(bytes + line.length, to, s.units, breaks);
                if (line.blank) {
                    ++blanks_;
                    continue;
                }
                PartitionWriter& w = writers[std::size_t(line.hash >> shift)];
                if (line.keyBytes > kLongestInlineKey) {
                    AppendOutOfLine(w.buffer, index, line.hash, LinePlace{line.pos, line.length});
                } else if (job_.byText) {
                    const QStringView key = keys.key(s, bytes, line.length, 0);
                    Append(w.buffer, RecordHeader{index, line.hash, quint32(key.size() * 2)},
                           key.utf16());
                } else {
                    Append(w.buffer, RecordHeader{index, line.hash, quint32(line.length)}, bytes);
                }
                ++w.records;
                if (w.buffer.size() >= writeBuffer_ && !Flush(w, freeAtStart_, reason))
                    return false;
            }
            return advance(to - from);
        });
    if (!ok)
        return false;
    if (!job_.settings.lineBreak)
        out_.setLineBreak(breaks.mostCommon());
    for (PartitionWriter& w : writers) {
        if (!Flush(w, freeAtStart_, reason))
            return false;
        recordBytes_ += w.file->size();
        partitions_.push_back(Partition{std::move(w.file), shift});
    }
    return true;
}

// Splits a partition that does not fit the memory it may use into sixteen by further hash bits.
bool Partitioned::split(Partition& partition, QString* reason, std::vector<Partition>* children) {
    constexpr int kBits = 4;
    const int shift = partition.shift - kBits;
    std::vector<PartitionWriter> writers(std::size_t(1) << kBits);
    for (PartitionWriter& w : writers) {
        w.file = tempFile(reason);
        if (!w.file)
            return false;
    }
    RecordReader reader(*partition.file, readBuffer_);
    RecordHeader h{};
    const char* key = nullptr;
    bool failed = false;
    while (reader.next(h, &key, &failed)) {
        PartitionWriter& w = writers[std::size_t((h.hash >> shift) & ((1u << kBits) - 1))];
        Append(w.buffer, h, key);
        if (w.buffer.size() >= writeBuffer_ && !Flush(w, freeAtStart_, reason))
            return false;
    }
    if (failed) {
        *reason = ReasonFor(*partition.file);
        return false;
    }
    partition.file.reset();
    for (PartitionWriter& w : writers) {
        if (!Flush(w, freeAtStart_, reason) || !w.file->flush())
            return false;
        children->push_back(Partition{std::move(w.file), shift});
    }
    return true;
}

// Pass two for one partition: decides which of its lines stay, within its share of memory.
bool Partitioned::finish(Partition& partition, QString* reason, std::vector<Partition>* children) {
    struct Entry {
        const char* key; // in the arena; for an out-of-line key, its line's place
        quint32 keyBytes;
        quint64 first;
        quint64 last;
        quint64 count;
    };
    LineReader keys(options_, job_.byText);
    QByteArray lineBytes[2];
    bool readFailed = false;
    // Out-of-line keys are read again from the input: from a mapped file by a plain read, which
    // leaves no page of it in the program's memory.
    auto keyOf = [&](quint32 keyBytes, const char* key, int buffer) -> QByteArrayView {
        if (keyBytes != kOutOfLine)
            return {key, qsizetype(keyBytes)};
        const LinePlace place = PlaceOf(key);
        const Segment& s = job_.inputs.at(place.pos);
        const qint64 offset = qint64(place.pos) - s.base;
        const uchar* line = s.data + offset;
        if (s.file) {
            QByteArray& bytes = lineBytes[buffer];
            bytes.resize(qsizetype(place.length));
            if (!ReadAt(*s.file, offset, bytes.data(), place.length))
                readFailed = true;
            line = reinterpret_cast<const uchar*>(bytes.constData());
        }
        if (!job_.byText)
            return {reinterpret_cast<const char*>(line), qsizetype(place.length)};
        const QStringView k = keys.key(s, line, place.length, buffer);
        return {reinterpret_cast<const char*>(k.utf16()), k.size() * 2};
    };
    // Two long lines compared by their bytes a piece at a time, read again from the input.
    auto sameLines = [&](LinePlace a, LinePlace b) {
        if (a.length != b.length)
            return false;
        constexpr qint64 kPiece = qint64(1) << 20;
        for (QByteArray& bytes : lineBytes)
            bytes.resize(qsizetype(std::min(kPiece, a.length)));
        for (qint64 at = 0; at < a.length; at += kPiece) {
            const qint64 n = std::min(kPiece, a.length - at);
            const char* piece[2] = {};
            const LinePlace places[2] = {a, b};
            for (int i = 0; i < 2; ++i) {
                const Segment& s = job_.inputs.at(places[i].pos);
                const qint64 offset = qint64(places[i].pos) - s.base + at;
                piece[i] = reinterpret_cast<const char*>(s.data + offset);
                if (s.file) {
                    if (!ReadAt(*s.file, offset, lineBytes[i].data(), n))
                        readFailed = true;
                    piece[i] = lineBytes[i].constData();
                }
            }
            if (std::memcmp(piece[0], piece[1], std::size_t(n)) != 0)
                return false;
        }
        return true;
    };
    const qint64 limit = job_.budget / 2;
    KeyArena arena(std::clamp(limit / 8, qint64(64) << 10, qint64(4) << 20));
    std::vector<Entry> entries;
    LineTable table(false);
    RecordReader reader(*partition.file, readBuffer_);
    RecordHeader h{};
    const char* key = nullptr;
    bool failed = false;
    qint64 reported = 0;
    while (reader.next(h, &key, &failed)) {
        table.reserveOne(std::numeric_limits<qint64>::max());
        bool inserted = false;
        LineTable::Slot& slot = table.findOrInsert(
            h.hash, entries.size(),
            [&](quint64 at) {
                const Entry& e = entries[std::size_t(at)];
                if (e.keyBytes != kOutOfLine && h.keyBytes != kOutOfLine)
                    return e.keyBytes == h.keyBytes && std::memcmp(e.key, key, h.keyBytes) == 0;
                if (!job_.byText) {
                    // Bytes: a long line only equals a long line, compared piece by piece.
                    if (e.keyBytes != kOutOfLine || h.keyBytes != kOutOfLine)
                        return false;
                    return sameLines(PlaceOf(e.key), PlaceOf(key));
                }
                return keyOf(e.keyBytes, e.key, 0) == keyOf(h.keyBytes, key, 1);
            },
            &inserted);
        if (inserted) {
            entries.push_back(Entry{arena.add(key, KeyRoom(h)), h.keyBytes, h.index, h.index, 1});
            const qint64 used =
                arena.bytes() + qint64(entries.capacity() * sizeof(Entry)) + table.bytes();
            // Too large for its share: split it further while the hash has bits left and the
            // partition is large enough, with enough different lines, for that to help.
            if (used > limit && partition.shift >= 16 && entries.size() >= kFewestToSplit &&
                partition.file->size() > std::max(limit, kSmallestSplit))
                return split(partition, reason, children);
        } else {
            Entry& e = entries[std::size_t(slot.pos & LineTable::kPosMask)];
            e.last = h.index;
            ++e.count;
        }
        if (reader.bytesRead() - reported >= (qint64(1) << 22)) {
            if (!advanceRecords(reader.bytesRead() - reported))
                return false;
            reported = reader.bytesRead();
        }
    }
    if (failed) {
        *reason = ReasonFor(*partition.file);
        return false;
    }
    if (readFailed) {
        job_.inputs.readFailed = true;
        *reason = QStringLiteral("输入文件在处理的过程中变短了，或无法再读。");
        return false;
    }
    std::vector<Kept> kept;
    std::vector<Kept> repeats;
    qint64 repeatedHere = 0;
    for (const Entry& e : entries) {
        const bool repeated = e.count > 1;
        repeatedHere += repeated;
        const quint64 index = options_.keep == KeepMode::Last ? e.last : e.first;
        const bool keep = options_.keep == KeepMode::Unique     ? !repeated
                          : options_.keep == KeepMode::Repeated ? repeated
                                                                : true;
        if (keep)
            kept.push_back(Kept{index, e.count});
        if (repeated && job_.settings.collectRepeats)
            repeats.push_back(Kept{index, e.count});
    }
    std::sort(kept.begin(), kept.end(),
              [](const Kept& a, const Kept& b) { return a.index < b.index; });
    partition.file.reset();
    std::lock_guard lock(mutex_);
    const qint64 bytes = qint64(kept.size()) * qint64(sizeof(Kept));
    const qint64 offset = keptFile_->size();
    if (!keptFile_->seek(offset) ||
        !WriteWhole(*keptFile_, reinterpret_cast<const char*>(kept.data()), bytes) ||
        !keptFile_->flush()) {
        *reason = TemporaryWriteFailure(*keptFile_, freeAtStart_);
        return false;
    }
    keptRuns_.push_back(Run{offset, qint64(kept.size())});
    ++finished_;
    distinct_ += qint64(entries.size());
    repeated_ += repeatedHere;
    repeats_.insert(repeats_.end(), repeats.begin(), repeats.end());
    // Only the most frequent are kept: trim now and then so that this stays small.
    const auto most = std::size_t(job_.settings.repeatsLimit);
    if (!job_.settings.repeatsOut && repeats_.size() > 2 * most + 1024)
        ByCount(repeats_, most);
    return advanceRecords(reader.bytesRead() - reported);
}

// Pass two: two workers take partitions from a queue; a split partition's children join it.
bool Partitioned::finishAll(QString* reason) {
    for (Partition& p : partitions_)
        queue_.push_back(std::move(p));
    partitions_.clear();
    std::atomic<bool> failed = false;
    QString reasons[2];
    auto worker = [&](int me) {
        while (!failed) {
            Partition p;
            {
                std::lock_guard lock(mutex_);
                if (queue_.empty())
                    return;
                p = std::move(queue_.front());
                queue_.pop_front();
            }
            std::vector<Partition> children;
            if (!finish(p, &reasons[me], &children)) {
                failed = true;
                return;
            }
            std::lock_guard lock(mutex_);
            for (Partition& child : children)
                queue_.push_front(std::move(child));
        }
    };
    Helper helper;
    helper.both([&] { worker(0); }, [&] { worker(1); });
    if (failed) {
        *reason = reasons[0].isEmpty() ? reasons[1] : reasons[0];
        return false;
    }
    return true;
}

// Reads the kept lines of one partition in index order.
class KeptStream {
public:
    KeptStream(QFile& file, qint64 offset, qint64 items, qint64 chunk)
        : file_(file), offset_(offset), left_(items), chunk_(chunk) {}
    bool next(Kept& k) {
        if (at_ == items_.size()) {
            if (left_ == 0)
                return false;
            const qint64 n = std::min<qint64>(left_, chunk_);
            items_.resize(std::size_t(n));
            const auto bytes = qint64(n * qint64(sizeof(Kept)));
            if (!file_.seek(offset_) ||
                file_.read(reinterpret_cast<char*>(items_.data()), bytes) != bytes)
                return false;
            offset_ += bytes;
            left_ -= n;
            at_ = 0;
        }
        k = items_[at_++];
        return true;
    }

private:
    QFile& file_;
    qint64 offset_;
    qint64 left_;
    qint64 chunk_; // how many are read at once
    std::vector<Kept> items_;
    std::size_t at_ = 0;
};

// Pass three: the input once more, in order, writing the lines that the partitions kept.
bool Partitioned::gather(QString* reason) {
    std::vector<KeptStream> streams;
    streams.reserve(keptRuns_.size());
    // The runs are read a piece at a time, all of them at once: together an eighth of the budget.
    const qint64 keptChunk = std::clamp<qint64>(
        job_.budget / 8 / std::max<qint64>(qint64(keptRuns_.size()), 1) / qint64(sizeof(Kept)), 16,
        1024);
    using Head = std::pair<quint64, std::size_t>; // index, stream
    std::priority_queue<Head, std::vector<Head>, std::greater<>> heads;
    std::vector<quint64> counts(keptRuns_.size());
    for (const Run& run : keptRuns_) {
        streams.emplace_back(*keptFile_, run.offset, run.items, keptChunk);
        Kept k{};
        if (streams.back().next(k)) {
            heads.emplace(k.index, streams.size() - 1);
            counts[streams.size() - 1] = k.count;
        }
    }
    // The repeated lines of the statistic, by index, to be read as the input goes by.
    if (!job_.settings.repeatsOut)
        ByCount(repeats_, std::size_t(job_.settings.repeatsLimit));
    std::vector<Kept> wanted = repeats_;
    std::sort(wanted.begin(), wanted.end(),
              [](const Kept& a, const Kept& b) { return a.index < b.index; });
    std::size_t nextWanted = 0;
    std::vector<std::pair<Kept, QString>> found;

    LineReader reader(options_, job_.byText);
    quint64 index = 0;
    const bool ok = ForEachBatch(job_.inputs, [&](const Segment& s, const uchar* from,
                                                  const uchar* to) {
        bool good = true;
        ForEachLineOf(s, from, to, [&](const uchar* line, qint64 length) {
            if (!good)
                return;
            const quint64 i = index++;
            const bool blank = job_.byText ? reader.key(s, line, length, 0).isEmpty() : length == 0;
            if (nextWanted < wanted.size() && wanted[nextWanted].index == i) {
                found.emplace_back(wanted[nextWanted], LineText(s, line, length));
                ++nextWanted;
            }
            if (blank) {
                if (options_.keepBlank || i == 0)
                    good = out_.line(s, line, length, options_.keepBlank ? 1 : quint64(blanks_));
                return;
            }
            if (heads.empty() || heads.top().first != i)
                return;
            const std::size_t stream = heads.top().second;
            heads.pop();
            good = out_.line(s, line, length, counts[stream]);
            Kept k{};
            if (streams[stream].next(k)) {
                heads.emplace(k.index, stream);
                counts[stream] = k.count;
            }
        });
        if (!good) {
            *reason = out_.error();
            outputFailed_ = true;
            return false;
        }
        return advance(to - from);
    });
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first.count != b.first.count ? a.first.count > b.first.count
                                              : a.first.index < b.first.index;
    });
    repeatTexts_.clear();
    for (auto& [k, text] : found) {
        RepeatedLine repeated{std::move(text), qint64(k.count)};
        if (!job_.settings.repeatsOut) {
            repeatTexts_.push_back(std::move(repeated));
        } else if (ok && !job_.settings.repeatsOut(repeated)) {
            cancelled_ = true;
            return false;
        }
    }
    return ok;
}

EngineResult Partitioned::run() {
    EngineResult result;
    result.partitioned = true;
    job_.passes = 3;
    // Enough partitions that each, with its table, should fit half the budget (two are worked on
    // at once); a partition that does not is split further.
    // As many as the files the program may still open allow: a partition that is too large for
    // its share is split further later, sixteen at a time.
    int most = 8;
    const qint64 openable = OpenFileLimit();
    while (most > 1 && openable > 0 && (qint64(1) << most) + kFilesBesidePartitions > openable)
        --most;
    int bits = 1;
    while (bits < most &&
           (job_.inputs.totalBytes * 2 >> bits) > std::max(job_.budget / 2, kSmallestPartition))
        ++bits;
    QString reason;
    freeAtStart_ = FreeSpace(TemporaryFolder(job_.settings.tempDir));
    writeBuffer_ = BufferFor(job_.budget / 4, qint64(1) << bits, kLargestWriteBuffer);
    readBuffer_ = std::clamp(job_.budget / 16, qint64(64) << 10, qint64(4) << 20);
    keptFile_ = tempFile(&reason);
    const bool ok = keptFile_ && scatter(bits, &reason) && finishAll(&reason) && gather(&reason);
    if (!ok) {
        if (cancelled_) {
            result.status = EngineResult::Status::Cancelled;
        } else {
            result.status = EngineResult::Status::OutputFailed;
            result.error =
                outputFailed_ ? reason : TemporaryFolderFailure(job_.settings.tempDir, reason);
        }
        return result;
    }
    result.stats.linesRead = linesRead_;
    result.stats.distinctLines = distinct_;
    result.stats.repeatedLines = repeated_;
    result.stats.blankLines = blanks_;
    result.partitions = finished_;
    result.repeats = std::move(repeatTexts_);
    return result;
}

} // namespace

EngineResult RunPartitioned(EngineJob& job, Emitter& out) {
    return Partitioned(job, out).run();
}
