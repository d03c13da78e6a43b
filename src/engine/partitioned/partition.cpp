#include "core/keeprules.h"
#include "engine/inmemory/linetable.h"
#include "engine/partitioned/partitioned.h"
#include "engine/reading/batches.h"
#include "engine/writing/removed.h"
#include "files/reasons.h"

#include <algorithm>

// Pass one: every non-blank line goes to the partition its hash chooses.
bool Partitioned::scatter(int bits, QString* reason) {
    std::vector<PartitionWriter> writers(std::size_t(1) << bits);
    for (PartitionWriter& w : writers) {
        w.file = tempFile(reason);
        if (!w.file)
            return false;
        w.buffer.reserve(writeBuffer_ + 4096);
    }
    Workers workers(threads_);
    BatchSplitter splitter(options_, job_.keyWay, workers);
    splitter.setTicker([this](qint64 bytes) {
        const std::lock_guard lock(progressMutex_);
        job_.during(bytes);
    });
    LineReader keys(options_, job_.keyWay);
    const bool byLength = ChoosesByLength(options_.keep);
    const bool summing = options_.key.sumColumn > 0;
    std::vector<LineRef> lines;
    const int shift = 64 - bits;
    LineBreakCounts breaks;
    // The compared lists' keys travel through the same partitions, each record naming its list.
    auto write = [&](const Segment& s, const LineRef& line, quint64 index) {
        PartitionWriter& w = writers[std::size_t(line.hash >> shift)];
        const uchar* bytes = s.data + (qint64(line.pos) - s.base);
        const quint32 chars =
            byLength && s.list < 0
                ? quint32(std::min<qint64>(keys.chars(s, bytes, line.length), ~quint32(0)))
                : 0;
        // An input's line carries its summed column (bytes the key reads are not touched by it).
        QByteArrayView summed;
        if (summing && s.list < 0)
            summed = line.summedBytes > 0
                         ? QByteArrayView(bytes + line.summedFrom, line.summedBytes)
                         : keys.summed(s, bytes, line.length);
        if (line.keyBytes > kLongestInlineKey) {
            AppendOutOfLine(w.buffer, index, line.hash, LinePlace{line.pos, line.length}, chars,
                            summed);
        } else if (!job_.keyIsLine()) {
            const QByteArrayView key = keys.key(s, bytes, line.length, 0);
            Append(
                w.buffer,
                RecordHeader{index, line.hash, quint32(key.size()), chars, quint32(summed.size())},
                key.data(), summed.data());
        } else {
            Append(w.buffer, RecordHeader{index, line.hash, quint32(line.length), chars}, bytes);
        }
        ++w.records;
        return w.buffer.size() < writeBuffer_ || Flush(w, freeAtStart_, reason);
    };
    const bool ok = ForEachBatch(
        job_.inputs,
        [&](const Segment& s, const uchar* from, const uchar* to) {
            splitter.split(s, from, to, lines);
            if (s.stopped())
                return false; // the keys of a stopped batch are not all made
            for (const LineRef& line : lines) {
                if (s.stopped())
                    return false; // a key made again may take a pattern long
                if (s.list >= 0) {
                    // A list's blank lines and lines without a key mean nothing.
                    if (line.kind == LineKind::Keyed &&
                        !write(s, line, kListRecord | quint64(s.list)))
                        return false;
                    continue;
                }
                if (job_.removed)
                    job_.removed->inputStarts(s.input, quint64(linesRead_));
                const auto index = quint64(linesRead_++);
                const uchar* bytes = s.data + (qint64(line.pos) - s.base);
                CountBreakAfter(bytes + line.length, to, s.units, breaks);
                if (line.kind == LineKind::Blank) {
                    ++blanks_;
                    blanksKept_ += KeepsBlankLine(options_, qint64(index));
                    continue;
                }
                if (line.kind == LineKind::Keyless) {
                    ++keyless_;
                    if (!KeepsKeyless(options_.keep, job_.intersecting != 0) && job_.intersecting)
                        ++removedByList_[std::size_t(
                            RemovingList(0, job_.excluding, job_.intersecting))];
                    continue;
                }
                if (!write(s, line, index))
                    return false;
            }
            return advance(to - from);
        },
        Reading::All);
    if (!ok)
        return false;
    if (!job_.settings.lineBreak)
        out_.setLineBreak(breaks.mostCommon());
    for (PartitionWriter& w : writers) {
        if (!Flush(w, freeAtStart_, reason))
            return false;
        recordBytes_ += w.file->size();
        partitions_.push_back(Partition{std::move(w.file), shift, w.records});
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
        ++w.records;
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
        children->push_back(Partition{std::move(w.file), shift, w.records});
    }
    return true;
}

bool Partitioned::readSum(quint64 at, QString* sum, QString* reason) {
    if (IsPackedSum(at)) {
        *sum = UnpackSum(at);
        return true;
    }
    quint32 size = 0;
    QByteArray digits;
    if (sumsFile_->seek(qint64(at)) && sumsFile_->read(reinterpret_cast<char*>(&size), 4) == 4) {
        digits = sumsFile_->read(qint64(size));
        if (digits.size() == qsizetype(size)) {
            *sum = QString::fromLatin1(digits);
            return true;
        }
    }
    *reason = ReasonFor(*sumsFile_);
    return false;
}

// Pass three: the input once more, in order, writing the lines that the partitions kept.
bool Partitioned::gather(QString* reason) {
    // The runs are read a piece at a time, all of them at once: together an eighth of the
    // budget, and as much for the removed lines' runs.
    MergedRuns kept(keptRuns_, job_.budget / 8);
    MergedRuns removals(removedRuns_, job_.budget / 8);
    MergedRuns sums(sumRuns_, job_.budget / 16);
    QString sum;
    // The repeated lines of the statistic, by index, to be read as the input goes by.
    if (!job_.settings.repeatsOut)
        ByCount(repeats_, std::size_t(job_.settings.repeatsLimit));
    std::vector<Kept> wanted = repeats_;
    std::sort(wanted.begin(), wanted.end(),
              [](const Kept& a, const Kept& b) { return a.index < b.index; });
    std::size_t nextWanted = 0;
    std::vector<std::pair<Kept, QString>> found;

    LineReader reader(options_, job_.keyWay);
    quint64 index = 0;
    const bool ok =
        ForEachBatch(job_.inputs, [&](const Segment& s, const uchar* from, const uchar* to) {
            bool good = true;
            ForEachLineOf(s, from, to, [&](const uchar* line, qint64 length) {
                if (!good)
                    return;
                const quint64 i = index++;
                const LineKind kind = reader.kindOf(s, line, length);
                if (nextWanted < wanted.size() && wanted[nextWanted].index == i) {
                    found.emplace_back(wanted[nextWanted], LineText(s, line, length));
                    ++nextWanted;
                }
                quint64 count = 1;
                sum.clear(); // only a kept line that merges copies has one
                Removal removal{RemovedLine::Why::Blank, 0};
                bool keep = false;
                if (kind == LineKind::Blank) {
                    keep = KeepsBlankLine(options_, qint64(i));
                    count = quint64(BlankLineCount(options_, blanks_));
                } else if (kind == LineKind::Keyless) {
                    keep = KeepsKeyless(options_.keep, job_.intersecting != 0);
                    removal = KeylessRemoval(job_);
                } else {
                    keep = kept.take(i, &count);
                    if (quint64 at = 0; keep && sums.take(i, &at) && !readSum(at, &sum, reason)) {
                        good = false;
                        return;
                    }
                    quint64 packed = 0;
                    if (!keep && job_.removed && removals.take(i, &packed))
                        removal = Unpacked(packed);
                }
                // A failure of the removed lines' writing is told by the job.
                if (keep)
                    good = out_.line(s, line, length, count, sum.isEmpty() ? QStringView() : sum);
                else if (job_.removed)
                    good = job_.removed->write(i, s, line, length, removal);
            });
            if (!good) {
                if (reason->isEmpty()) {
                    *reason = out_.error();
                    outputFailed_ = true;
                }
                return false;
            }
            QFile* failed = kept.failedFile() ? kept.failedFile() : removals.failedFile();
            if (!failed)
                failed = sums.failedFile();
            if (failed) {
                *reason = ReasonFor(*failed);
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

namespace {
// How many lines the inputs and lists have, guessed from the line breaks among the first bytes of
// the first of them.
qint64 EstimatedLines(const SegmentList& inputs) {
    constexpr qint64 kSample = qint64(4) << 20;
    for (const Segment& s : inputs.segments) {
        const qint64 sample = std::min(s.size - s.body, kSample);
        if (sample <= 0 || s.longLine)
            continue;
        const LineBreakCounts c = CountLineBreaks(s.begin(), s.begin() + sample, s.units);
        const qint64 breaks = c.crlf + c.lf + c.cr + 1;
        return qint64(double(inputs.totalBytes) * double(breaks) / double(sample));
    }
    return 0;
}
} // namespace

EngineResult Partitioned::run() {
    EngineResult result;
    result.partitioned = true;
    job_.passes = 3;
    readBuffer_ = std::clamp(job_.budget / 16, qint64(64) << 10, qint64(512) << 10);
    // Enough partitions that each should fit its share of the budget (two are worked on at
    // once): its keys and what each of its lines needs besides, the lines counted in the first
    // bytes of the input. A partition that does not fit is split further.
    // As many as the files the program may still open allow: a partition that is too large for
    // its share is split further later, sixteen at a time.
    int most = 8;
    const qint64 openable = OpenFileLimit();
    while (most > 1 && openable > 0 && (qint64(1) << most) + kFilesBesidePartitions > openable)
        --most;
    const qint64 need = job_.inputs.totalBytes + EstimatedLines(job_.inputs) * kBytesPerEntry;
    int bits = 1;
    while (bits < most && (need >> bits) > std::max(workerLimit(), kSmallestPartition))
        ++bits;
    QString reason;
    freeAtStart_ = FreeSpace(TemporaryFolder(job_.settings.tempDir));
    writeBuffer_ = BufferFor(job_.budget / 4, qint64(1) << bits, kLargestWriteBuffer);
    removedByList_.assign(job_.settings.lists.size(), 0);
    keptFile_ = tempFile(&reason);
    bool ok = keptFile_ != nullptr;
    if (ok && options_.key.sumColumn > 0)
        ok = (sumsFile_ = tempFile(&reason)) != nullptr;
    for (auto& file : removedFiles_) {
        if (ok && job_.removed)
            ok = (file = tempFile(&reason)) != nullptr;
    }
    ok = ok && scatter(bits, &reason) && finishAll(&reason) && gather(&reason);
    if (!ok) {
        result.outcome =
            cancelled_ ? Outcome::cancelled()
            : outputFailed_
                ? Outcome::failed(reason)
                : Outcome::failed(TemporaryFolderFailure(job_.settings.tempDir, reason));
        return result;
    }
    result.stats.linesRead = linesRead_;
    result.stats.distinctLines = distinct_;
    result.stats.repeatedLines = repeated_;
    result.stats.blankLines = blanks_;
    result.stats.blankLinesKept = blanksKept_;
    result.stats.keylessLines = keyless_;
    result.stats.removedByList = removedByList_;
    result.partitions = finished_;
    result.repeats = std::move(repeatTexts_);
    return result;
}

EngineResult RunPartitioned(EngineJob& job, Emitter& out) {
    return Partitioned(job, out).run();
}
