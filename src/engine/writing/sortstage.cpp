// Sorts the kept lines before they are written: in memory, or in runs merged from temporary files.
#include "engine/writing/sortstage.h"

#include "engine/engine.h"
#include "engine/systemfiles.h"
#include "engine/workers.h"
#include "files/writewhole.h"

#include <algorithm>
#include <cstring>
#include <queue>

namespace {
// How many lines go between two questions whether to go on.
constexpr quint64 kAskEvery = 1 << 16;
// How much of each run is read at once while merging.
constexpr qint64 kRunBuffer = qint64(1) << 20;
// How many records ahead of the one written the next are asked for.
constexpr std::size_t kReadAhead = 16;
// A run's record: its sort bytes' and its record's sizes and its place, then the two.
constexpr qint64 kRunHeader = 4 + 4 + 8;

quint64 Prefix(const char* bytes, qint64 size) {
    quint64 prefix = 0;
    for (int i = 0; i < 8; ++i)
        prefix = (prefix << 8) | (i < size ? uchar(bytes[i]) : 0);
    return prefix;
}

// Asks the processor to bring the bytes at `at` into its cache, where the compiler can.
void Prefetch(const char* at) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(at);
#else
    (void)at;
#endif
}

int CompareBytes(const char* a, qint64 na, const char* b, qint64 nb) {
    const int c = std::memcmp(a, b, std::size_t(std::min(na, nb)));
    if (c != 0)
        return c;
    return na < nb ? -1 : na > nb ? 1 : 0;
}

// A held line while sorting: its sort bytes' first 16 as two numbers (inverted for a reverse
// order, so that the smaller always goes first) and where it is held. Sorting these rather than
// the lines themselves moves fewer bytes and decides most comparisons without looking further.
struct Slot {
    quint64 first;
    quint64 second;
    std::size_t index;
};
constexpr qint64 kSlotBytes = 16;
} // namespace

// A sorted run in a temporary file, read back in steps while merging.
struct SortStage::Run {
    std::unique_ptr<QFile> file;
    qint64 size = 0;
    qint64 readAt = 0;
    std::vector<char> buffer;
    qint64 bufferAt = 0; // where in the buffer the current line starts
    qint64 have = 0;     // bytes in the buffer
    // The current line.
    const char* key = nullptr;
    qint64 keyBytes = 0;
    const char* record = nullptr;
    qint64 recordBytes = 0;
    quint64 order = 0;

    // Makes `need` bytes from bufferAt available; false when the file cannot give them.
    bool fill(qint64 need) {
        if (have - bufferAt >= need)
            return true;
        if (have > bufferAt) // an empty buffer has no storage to move within
            std::memmove(buffer.data(), buffer.data() + bufferAt, std::size_t(have - bufferAt));
        have -= bufferAt;
        bufferAt = 0;
        if (qint64(buffer.size()) < need)
            buffer.resize(std::size_t(std::max(need, kRunBuffer)));
        const qint64 want = std::min(qint64(buffer.size()) - have, size - readAt);
        if (want > 0 && !ReadAt(*file, readAt, buffer.data() + have, want))
            return false;
        have += std::max(want, qint64(0));
        readAt += std::max(want, qint64(0));
        return have >= need;
    }
    // Moves to the next line; false at the end (*failed when the file failed).
    bool next(bool* failed) {
        if (key)
            bufferAt += kRunHeader + keyBytes + recordBytes;
        key = nullptr;
        if (readAt >= size && bufferAt >= have)
            return false;
        if (!fill(kRunHeader)) {
            *failed = true;
            return false;
        }
        quint32 sizes[2];
        std::memcpy(sizes, buffer.data() + bufferAt, 8);
        std::memcpy(&order, buffer.data() + bufferAt + 8, 8);
        keyBytes = sizes[0];
        recordBytes = sizes[1];
        if (!fill(kRunHeader + keyBytes + recordBytes)) {
            *failed = true;
            return false;
        }
        key = buffer.data() + bufferAt + kRunHeader;
        record = key + keyBytes;
        return true;
    }
};

SortStage::SortStage(bool reverse, qint64 budget, QString tempDir, std::function<bool()> keepGoing,
                     int threads)
    : reverse_(reverse), threads_(std::max(1, threads)),
      share_(std::max(budget / 2, qint64(1) << 16)), tempDir_(std::move(tempDir)),
      keepGoing_(std::move(keepGoing)) {}

SortStage::~SortStage() = default;

SortStage::Entry& SortStage::place(QByteArrayView record, qint64 keyBytes) {
    const auto at = qint64(bytes_.size());
    bytes_.insert(bytes_.end(), record.begin(), record.end());
    Entry& e = held_.emplace_back();
    e.recordAt = at;
    e.recordBytes = quint32(record.size());
    e.keyAt = at;
    e.keyBytes = quint32(keyBytes);
    e.order = next_++;
    return e;
}

bool SortStage::add(QByteArrayView sortBytes, QByteArrayView record) {
    const auto keyAt = qint64(bytes_.size());
    bytes_.insert(bytes_.end(), sortBytes.begin(), sortBytes.end());
    Entry& e = place(record, 0);
    e.keyAt = keyAt;
    e.keyBytes = quint32(sortBytes.size());
    e.prefix = Prefix(sortBytes.data(), sortBytes.size());
    return qint64(bytes_.size()) + qint64(held_.size()) * qint64(sizeof(Entry)) < share_ || spill();
}

bool SortStage::addKeyedByRecord(qint64 keyBytes, QByteArrayView record) {
    Entry& e = place(record, keyBytes);
    e.prefix = Prefix(record.data(), keyBytes);
    return qint64(bytes_.size()) + qint64(held_.size()) * qint64(sizeof(Entry)) < share_ || spill();
}

void SortStage::sortHeld() {
    std::vector<Slot> places(held_.size());
    const quint64 flip = reverse_ ? ~quint64(0) : 0;
    for (std::size_t i = 0; i < held_.size(); ++i) {
        const Entry& e = held_[i];
        const quint64 second =
            e.keyBytes > 8 ? Prefix(bytes_.data() + e.keyAt + 8, e.keyBytes - 8) : 0;
        places[i] = {e.prefix ^ flip, second ^ flip, i};
    }
    // Ties (the same sort bytes) keep the order the lines came in, also in reverse.
    auto before = [this](const Slot& a, const Slot& b) {
        if (a.first != b.first)
            return a.first < b.first;
        if (a.second != b.second)
            return a.second < b.second;
        const Entry& x = held_[a.index];
        const Entry& y = held_[b.index];
        if (x.keyBytes > kSlotBytes || y.keyBytes > kSlotBytes || x.keyBytes != y.keyBytes) {
            // Their first bytes (up to 16) are equal.
            const auto same = std::min<qint64>({x.keyBytes, y.keyBytes, kSlotBytes});
            const int c = CompareBytes(bytes_.data() + x.keyAt + same, x.keyBytes - same,
                                       bytes_.data() + y.keyAt + same, y.keyBytes - same);
            if (c != 0)
                return reverse_ ? c > 0 : c < 0;
        }
        return a.index < b.index;
    };
    // Each thread sorts its part, then the parts are merged in pairs.
    const int parts =
        places.size() < kSortAlone ? 1 : int(std::min<std::size_t>(threads_, places.size()));
    std::vector<std::size_t> bounds;
    for (int p = 0; p <= parts; ++p)
        bounds.push_back(places.size() * std::size_t(p) / std::size_t(parts));
    if (parts == 1) {
        std::sort(places.begin(), places.end(), before);
    } else {
        Workers workers(parts);
        workers.each(parts, [&](int p) {
            std::sort(places.begin() + qsizetype(bounds[std::size_t(p)]),
                      places.begin() + qsizetype(bounds[std::size_t(p) + 1]), before);
        });
        std::vector<Slot> merged(places.size());
        for (std::size_t width = 1; width < std::size_t(parts); width *= 2) {
            for (std::size_t p = 0; p < bounds.size() - 1; p += 2 * width) {
                const std::size_t first = bounds[p];
                const std::size_t middle = bounds[std::min(p + width, bounds.size() - 1)];
                const std::size_t last = bounds[std::min(p + 2 * width, bounds.size() - 1)];
                std::merge(places.begin() + qsizetype(first), places.begin() + qsizetype(middle),
                           places.begin() + qsizetype(middle), places.begin() + qsizetype(last),
                           merged.begin() + qsizetype(first), before);
            }
            places.swap(merged);
        }
    }
    std::vector<Entry> sorted;
    sorted.reserve(held_.size());
    for (const Slot& slot : places)
        sorted.push_back(held_[slot.index]);
    held_.swap(sorted);
}

bool SortStage::spill() {
    if (keepGoing_ && !keepGoing_())
        return false;
    sortHeld();
    auto run = std::make_unique<Run>();
    QString reason;
    run->file = CreateHiddenTempFile(tempDir_, &reason);
    if (!run->file) {
        error_ = TemporaryFolderFailure(tempDir_, reason);
        return false;
    }
    if (freeAtStart_ < 0)
        freeAtStart_ = FreeSpace(TemporaryFolder(tempDir_));
    std::vector<char> out;
    out.reserve(std::size_t(kRunBuffer) + 64);
    auto write = [&]() {
        if (!WriteWhole(*run->file, out.data(), qint64(out.size()))) {
            error_ = TemporaryWriteFailure(*run->file, freeAtStart_);
            return false;
        }
        out.clear();
        return true;
    };
    for (const Entry& e : held_) {
        const quint32 sizes[2] = {e.keyBytes, e.recordBytes};
        const char* head = reinterpret_cast<const char*>(sizes);
        out.insert(out.end(), head, head + 8);
        const char* order = reinterpret_cast<const char*>(&e.order);
        out.insert(out.end(), order, order + 8);
        out.insert(out.end(), bytes_.data() + e.keyAt, bytes_.data() + e.keyAt + e.keyBytes);
        out.insert(out.end(), bytes_.data() + e.recordAt,
                   bytes_.data() + e.recordAt + e.recordBytes);
        if (qint64(out.size()) >= kRunBuffer && !write())
            return false;
    }
    if (!out.empty() && !write())
        return false;
    run->size = run->file->size();
    runs_.push_back(std::move(run));
    held_.clear();
    bytes_.clear();
    return true;
}

bool SortStage::finish(const std::function<bool(QByteArrayView)>& write) {
    if (runs_.empty()) {
        sortHeld();
        for (std::size_t i = 0; i < held_.size(); ++i) {
            if ((i + 1) % kAskEvery == 0 && keepGoing_ && !keepGoing_())
                return false;
            // The records are read in a scattered order: ask for the coming ones early.
            if (i + kReadAhead < held_.size())
                Prefetch(bytes_.data() + held_[i + kReadAhead].recordAt);
            const Entry& e = held_[i];
            if (!write(QByteArrayView(bytes_.data() + e.recordAt, e.recordBytes)))
                return false;
        }
        return true;
    }
    if (!held_.empty() && !spill())
        return false;
    bool failed = false;
    auto later = [this](const Run* a, const Run* b) {
        int c = CompareBytes(a->key, a->keyBytes, b->key, b->keyBytes);
        if (c != 0)
            return reverse_ ? c < 0 : c > 0;
        return a->order > b->order;
    };
    std::priority_queue<Run*, std::vector<Run*>, decltype(later)> heads(later);
    for (const auto& run : runs_) {
        if (run->next(&failed))
            heads.push(run.get());
    }
    quint64 n = 0;
    while (!heads.empty() && !failed) {
        Run* run = heads.top();
        heads.pop();
        if (++n % kAskEvery == 0 && keepGoing_ && !keepGoing_())
            return false;
        if (!write(QByteArrayView(run->record, run->recordBytes)))
            return false;
        if (run->next(&failed))
            heads.push(run);
    }
    if (failed) {
        error_ = QStringLiteral("无法读回排序用的临时文件（临时文件夹中的文件被改动或无法再读）。");
        return false;
    }
    return true;
}
