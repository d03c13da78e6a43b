#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// Puts the kept lines in order before they are written. Each line comes as it will be written
// (its record: its bytes in the output's encoding, its count and its line break) with its sort
// bytes (see SortKeyMaker), in the order of the result without sorting. They are sorted by their
// sort bytes, ties in the order they came (also reversed). While they fit their share of the
// memory budget they are sorted in memory; beyond it each share is sorted and written to a
// temporary file as a run, and the runs are merged at the end.
class SortStage {
public:
    // Held lines are sorted on one thread below this many; above, by every thread.
    static constexpr std::size_t kSortAlone = std::size_t(1) << 14;

    // `keepGoing` is asked now and then; false cancels the work. A large share is sorted by
    // `threads` threads.
    SortStage(bool reverse, qint64 budget, QString tempDir, std::function<bool()> keepGoing,
              int threads = 1);
    ~SortStage();
    SortStage(const SortStage&) = delete;
    SortStage& operator=(const SortStage&) = delete;

    // A line and its sort bytes; false when a run could not be written (error() says why).
    bool add(QByteArrayView sortBytes, QByteArrayView record);
    // A line whose sort bytes are its record's first `keyBytes` bytes.
    bool addKeyedByRecord(qint64 keyBytes, QByteArrayView record);
    // Hands the records, in order, to `write`; false when it fails, a run cannot be read back
    // or the work is cancelled (error() then says why, empty for a cancel or the writer's own).
    bool finish(const std::function<bool(QByteArrayView)>& write);
    QString error() const { return error_; }
    int runs() const { return int(runs_.size()); }

    struct Entry {
        quint64 prefix; // the sort bytes' first 8, big-endian, padded with zeros
        qint64 keyAt;
        qint64 recordAt;
        quint32 keyBytes;
        quint32 recordBytes;
        quint64 order; // the place it came in
    };

private:
    bool spill();
    void sortHeld();
    Entry& place(QByteArrayView record, qint64 keyBytes);

    struct Run;
    bool reverse_;
    int threads_;
    qint64 share_;
    QString tempDir_;
    std::function<bool()> keepGoing_;
    std::vector<char> bytes_; // the held lines' sort bytes and records
    std::vector<Entry> held_;
    quint64 next_ = 0;
    std::vector<std::unique_ptr<Run>> runs_;
    qint64 freeAtStart_ = -1;
    QString error_;
};
