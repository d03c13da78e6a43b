// Pass two of the partitioned way: each partition decided on its own.
#include "core/keeprules.h"
#include "engine/inmemory/linetable.h"
#include "engine/partitioned/partitioned.h"
#include "engine/reading/batches.h"
#include "engine/writing/removed.h"
#include "files/reasons.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

namespace {
constexpr qint64 kRecordsBeforeSizing = 65536;
constexpr int kSlotAhead = 16;
constexpr int kEntryAhead = 8;
} // namespace

// Pass two for one partition: decides which of its lines stay, within its share of memory.
bool Partitioned::finish(Partition& partition, int worker, QString* reason,
                         std::vector<Partition>* children) {
    struct Entry {
        const char* key; // in the arena; for an out-of-line key, its line's place
        quint32 keyBytes;
        quint32 chars; // of the copy chosen, where the length chooses it
        quint64 first;
        quint64 last;  // the last copy, or where a rule chooses, the copy chosen
        quint64 count; // of the input's lines; 0 for a key that only the lists hold
        quint64 lists; // the compared lists that hold it, as bits
    };
    KeysInInput longKeys(job_.inputs, options_, job_.keyWay);
    const bool byLength = ChoosesByLength(options_.keep);
    const bool summing = options_.key.sumColumn > 0;
    const qint64 limit = workerLimit();
    KeyArena arena(std::clamp(limit / 8, qint64(64) << 10, qint64(4) << 20));
    std::vector<Entry> entries;
    // Where the removed lines are wanted: the index of each entry's second copy (0: none yet).
    std::vector<quint64> seconds;
    // With sums: each entry's sum of its input lines' summed column.
    std::vector<DecimalSum> sums;
    LineTable table(false);
    RecordReader reader(*partition.file, readBuffer_);
    RecordHeader h{};
    const char* key = nullptr;
    bool failed = false;
    // Whether the entry at `at` holds the key of the record read last.
    auto sameKey = [&](quint64 at) {
        const Entry& e = entries[std::size_t(at)];
        if (e.keyBytes != kOutOfLine && h.keyBytes != kOutOfLine)
            return e.keyBytes == h.keyBytes && std::memcmp(e.key, key, h.keyBytes) == 0;
        if (job_.keyIsLine()) {
            // Bytes: a long line only equals a long line, compared piece by piece.
            if (e.keyBytes != kOutOfLine || h.keyBytes != kOutOfLine)
                return false;
            return longKeys.sameLines(PlaceOf(e.key), PlaceOf(key));
        }
        return longKeys.keyOf(e.keyBytes, e.key, 0) == longKeys.keyOf(h.keyBytes, key, 1);
    };
    qint64 reported = 0;
    qint64 read = 0;
    std::array<std::pair<qint64, quint64>, kSlotAhead> ahead{}; // number and hash
    qint64 entriesAtHalf = 0;
    auto splittable = [&] {
        return partition.shift >= 16 && entries.size() >= kFewestToSplit &&
               partition.file->size() > kSmallestSplit;
    };

    while (reader.next(h, &key, &failed)) {
        // Sized once for the records to come, from the share of new lines among the second half
        // of the first ones (growing step by step moves every line again at each step). The
        // share only falls as lines repeat, and where they come from a small set it has fallen
        // by then.
        if (++read == kRecordsBeforeSizing / 2)
            entriesAtHalf = qint64(entries.size());
        if (read == kRecordsBeforeSizing && partition.records > 2 * read) {
            const qint64 late = qint64(entries.size()) - entriesAtHalf;
            const auto expected =
                qint64(entries.size()) + qint64(double(partition.records - read) * double(late) /
                                                (double(kRecordsBeforeSizing) / 2));
            // Never more than the partition's share: past it, the partition is split now rather
            // than when it is full.
            const qint64 perEntry =
                kBytesPerEntry + (job_.removed ? 8 : 0) +
                (summing ? qint64(sizeof(DecimalSum)) : 0) +
                arena.keyBytes() / qint64(std::max<std::size_t>(entries.size(), 1));
            if (expected * perEntry > limit && splittable())
                return split(partition, reason, children);
            const qint64 room = std::min(expected + expected / 16, limit / perEntry);
            if (room > qint64(entries.size())) {
                table.reserve(room);
                entries.reserve(std::size_t(room));
                if (job_.removed)
                    seconds.reserve(entries.capacity());
                if (summing)
                    sums.reserve(entries.capacity());
            }
        }
        // The slots of the records a little ahead are fetched early, and the entries of those
        // nearer, whose slots are then at hand: neither is waited for when its turn comes.
        reader.lookAhead(kSlotAhead, [&](qint64 number, quint64 hash) {
            table.prefetch(hash);
            ahead[std::size_t(number) % kSlotAhead] = {number, hash};
        });
        if (const auto [number, hash] =
                ahead[std::size_t(reader.count() + kEntryAhead) % kSlotAhead];
            number == reader.count() + kEntryAhead) {
            const quint64 at = table.homePosition(hash);
            if (at != LineTable::kFree)
                __builtin_prefetch(&entries[std::size_t(at & LineTable::kPosMask)]);
        }
        // Too large for its share (counting the old and the new table, or entries, while they
        // grow): split it further while the hash has bits left and the partition is large
        // enough, with enough different lines, for that to help.
        const qint64 held = arena.bytes() + qint64(entries.capacity() * sizeof(Entry)) +
                            qint64(seconds.capacity() * 8) +
                            qint64(sums.capacity() * sizeof(DecimalSum));
        const bool entriesGrow = entries.size() == entries.capacity();
        if ((!table.reserveOne(limit - held) ||
             (entriesGrow && 2 * held + table.bytes() - arena.bytes() > limit)) &&
            splittable())
            return split(partition, reason, children);
        table.reserveOne(std::numeric_limits<qint64>::max());
        bool inserted = false;
        LineTable::Slot& slot = table.findOrInsert(h.hash, entries.size(), sameKey, &inserted);
        const bool ofList = (h.index & kListRecord) != 0;
        const quint64 listBit = ofList ? quint64(1) << (h.index & ~kListRecord) : 0;
        const QByteArrayView summed(key + KeyRoom(h), qsizetype(h.summedBytes));
        if (inserted) {
            entries.push_back(Entry{arena.add(key, KeyRoom(h)), h.keyBytes, h.chars, h.index,
                                    h.index, ofList ? 0U : 1U, listBit});
            if (job_.removed)
                seconds.push_back(0);
            if (summing) {
                sums.emplace_back();
                if (!ofList)
                    sums.back().add(summed);
            }
            // The kept lines' list to come counted too, for as many as there are entries.
            const qint64 used = arena.bytes() + qint64(entries.capacity() * sizeof(Entry)) +
                                qint64(seconds.capacity() * 8) +
                                qint64(sums.capacity() * sizeof(DecimalSum)) + table.bytes() +
                                qint64(entries.size() * sizeof(Kept));
            if (used > limit && splittable())
                return split(partition, reason, children);
        } else {
            const auto at = std::size_t(slot.pos & LineTable::kPosMask);
            Entry& e = entries[at];
            e.lists |= listBit;
            if (!ofList) {
                if (e.count == 1 && job_.removed)
                    seconds[at] = h.index;
                if (e.count == 0)
                    e.first = h.index;
                if (e.count == 0 || !byLength || LaterCopyWins(options_.keep, e.chars, h.chars)) {
                    e.last = h.index;
                    e.chars = h.chars;
                }
                ++e.count;
                if (summing)
                    sums[at].add(summed);
            }
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
    if (longKeys.readFailed()) {
        job_.inputs.readFailed = true;
        *reason = QStringLiteral("输入文件在处理的过程中变短了，或无法再读。");
        return false;
    }
    // The table is done with, unless the removed lines are looked up in it again; the kept
    // lines are gathered without growing step by step.
    if (!job_.removed)
        table = LineTable(false);
    std::vector<Kept> kept;
    kept.reserve(std::size_t(std::count_if(entries.begin(), entries.end(), [&](const Entry& e) {
        return e.count > 0 && PassesLists(e.lists, job_.excluding, job_.intersecting) &&
               KeepsKey(options_.keep, e.count > 1);
    })));
    std::vector<Kept> repeats;
    std::vector<qint64> removedByList(job_.settings.lists.size(), 0);
    qint64 repeatedHere = 0;
    qint64 distinctHere = 0;
    // With sums, the kept lines that merge copies: their index and their entry.
    std::vector<Kept> summedKept;
    for (std::size_t at = 0; at < entries.size(); ++at) {
        const Entry& e = entries[at];
        if (e.count == 0)
            continue; // only in the lists
        ++distinctHere;
        const bool repeated = e.count > 1;
        repeatedHere += repeated;
        const quint64 index = ChoosesCopy(options_.keep) ? e.last : e.first;
        // Every copy of a line that the lists remove goes, counted for the list that removes it.
        const bool passes = PassesLists(e.lists, job_.excluding, job_.intersecting);
        if (!passes)
            removedByList[std::size_t(RemovingList(e.lists, job_.excluding, job_.intersecting))] +=
                qint64(e.count);
        const bool keep = passes && KeepsKey(options_.keep, repeated);
        if (keep)
            kept.push_back(Kept{index, e.count});
        if (keep && summing && repeated)
            summedKept.push_back(Kept{index, at});
        if (repeated && job_.settings.collectRepeats)
            repeats.push_back(Kept{index, e.count});
    }
    // Entries come in the order of their first records, which is the input's: the first copies
    // are mostly in order already.
    const auto byIndex = [](const Kept& a, const Kept& b) { return a.index < b.index; };
    if (!std::is_sorted(kept.begin(), kept.end(), byIndex))
        std::sort(kept.begin(), kept.end(), byIndex);
    // Why each of the partition's other lines went, from a second reading of it: its records
    // are in index order.
    if (job_.removed) {
        using Why = RemovedLine::Why;
        auto removalOf = [&](std::size_t at, quint64 index, Removal* removal) {
            const Entry& e = entries[at];
            if (!PassesLists(e.lists, job_.excluding, job_.intersecting)) {
                *removal = {Why::List,
                            quint64(RemovingList(e.lists, job_.excluding, job_.intersecting))};
                return true;
            }
            const bool repeated = e.count > 1;
            if (KeepsKey(options_.keep, repeated)) {
                const quint64 keptIndex = ChoosesCopy(options_.keep) ? e.last : e.first;
                *removal = {Why::Repeat, keptIndex};
                return index != keptIndex;
            }
            // No copy stays: a line that occurs once, or each copy of a repeated line, which
            // names the first copy (and the first copy the second).
            *removal = !repeated ? Removal{Why::Once, 0}
                                 : Removal{Why::Repeat, index == e.first ? seconds[at] : e.first};
            return true;
        };
        std::vector<Kept> removals;
        const std::size_t chunk = std::size_t(std::clamp<qint64>(limit / 64, 1024, 1 << 16));
        QFile& file = *removedFiles_[std::size_t(worker)];
        const qint64 offset = file.size();
        qint64 items = 0;
        auto flush = [&] {
            const auto bytes = qint64(removals.size()) * qint64(sizeof(Kept));
            if (!file.seek(file.size()) ||
                !WriteWhole(file, reinterpret_cast<const char*>(removals.data()), bytes)) {
                *reason = TemporaryWriteFailure(file, freeAtStart_);
                return false;
            }
            items += qint64(removals.size());
            removals.clear();
            return true;
        };
        RecordReader again(*partition.file, readBuffer_);
        while (again.next(h, &key, &failed)) {
            if (h.index & kListRecord)
                continue;
            const LineTable::Slot* slot = table.find(h.hash, sameKey);
            Removal removal;
            if (slot && removalOf(std::size_t(slot->pos & LineTable::kPosMask), h.index, &removal))
                removals.push_back(Kept{h.index, Packed(removal)});
            if (removals.size() >= chunk && !flush())
                return false;
        }
        if (failed) {
            *reason = ReasonFor(*partition.file);
            return false;
        }
        if (!flush() || !file.flush()) {
            *reason = TemporaryWriteFailure(file, freeAtStart_);
            return false;
        }
        std::lock_guard lock(mutex_);
        removedRuns_.push_back(KeptRun{&file, offset, items});
    }
    partition.file.reset();
    // The sums of the merged lines, each as its length (4 bytes) and its digits, and where each
    // stands, by index.
    QByteArray sumTexts;
    if (!std::is_sorted(summedKept.begin(), summedKept.end(), byIndex))
        std::sort(summedKept.begin(), summedKept.end(), byIndex);
    std::vector<std::size_t> inFile; // of summedKept, those whose sums go to the file
    for (std::size_t i = 0; i < summedKept.size(); ++i) {
        Kept& k = summedKept[i];
        const QByteArray digits = sums[std::size_t(k.count)].text().toLatin1();
        if (PackSum(digits, &k.count))
            continue;
        const auto size = quint32(digits.size());
        k.count = quint64(sumTexts.size());
        sumTexts.append(reinterpret_cast<const char*>(&size), 4).append(digits);
        inFile.push_back(i);
    }
    std::lock_guard lock(mutex_);
    if (!summedKept.empty()) {
        const qint64 base = sumsFile_->size();
        for (const std::size_t i : inFile)
            summedKept[i].count += quint64(base);
        const qint64 at = keptFile_->size();
        const qint64 pairBytes = qint64(summedKept.size()) * qint64(sizeof(Kept));
        if (!sumTexts.isEmpty() &&
            (!sumsFile_->seek(base) ||
             !WriteWhole(*sumsFile_, sumTexts.constData(), sumTexts.size()) ||
             !sumsFile_->flush())) {
            *reason = TemporaryWriteFailure(*sumsFile_, freeAtStart_);
            return false;
        }
        if (!keptFile_->seek(at) ||
            !WriteWhole(*keptFile_, reinterpret_cast<const char*>(summedKept.data()), pairBytes) ||
            !keptFile_->flush()) {
            *reason = TemporaryWriteFailure(*keptFile_, freeAtStart_);
            return false;
        }
        sumRuns_.push_back(KeptRun{keptFile_.get(), at, qint64(summedKept.size())});
    }
    const qint64 bytes = qint64(kept.size()) * qint64(sizeof(Kept));
    const qint64 offset = keptFile_->size();
    if (!keptFile_->seek(offset) ||
        !WriteWhole(*keptFile_, reinterpret_cast<const char*>(kept.data()), bytes) ||
        !keptFile_->flush()) {
        *reason = TemporaryWriteFailure(*keptFile_, freeAtStart_);
        return false;
    }
    keptRuns_.push_back(KeptRun{keptFile_.get(), offset, qint64(kept.size())});
    ++finished_;
    distinct_ += distinctHere;
    repeated_ += repeatedHere;
    for (std::size_t i = 0; i < removedByList.size(); ++i)
        removedByList_[i] += removedByList[i];
    repeats_.insert(repeats_.end(), repeats.begin(), repeats.end());
    // Only the most frequent are kept: trim now and then so that this stays small.
    const auto most = std::size_t(job_.settings.repeatsLimit);
    if (!job_.settings.repeatsOut && repeats_.size() > 2 * most + 1024)
        ByCount(repeats_, most);
    return advanceRecords(reader.bytesRead() - reported);
}

// Pass two: the workers take partitions from a queue; a split partition's children join it.
bool Partitioned::finishAll(QString* reason) {
    for (Partition& p : partitions_)
        queue_.push_back(std::move(p));
    partitions_.clear();
    std::atomic<bool> failed = false;
    Workers workers(threads_);
    std::vector<QString> reasons(std::size_t(workers.size()));
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
            if (!finish(p, me, &reasons[std::size_t(me)], &children)) {
                failed = true;
                return;
            }
            std::lock_guard lock(mutex_);
            for (Partition& child : children)
                queue_.push_front(std::move(child));
        }
    };
    workers.each(worker);
    if (failed) {
        for (const QString& why : reasons)
            if (!why.isEmpty()) {
                *reason = why;
                break;
            }
        return false;
    }
    return true;
}
