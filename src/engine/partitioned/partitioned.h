#pragma once

// Folder engine/partitioned: the partitioned way, for jobs beyond the memory budget: the
// partition files and their records (partitionfiles), the first pass (partition) and the
// finishing of each partition and the writing in input order (partitionfinish).

// The partitioned way: every line's key goes to one of several temporary files by its hash (pass
// one); each is finished on its own within its share of memory, split further when it does not
// fit (pass two); and the kept lines are written in input order from a last reading of the input
// (pass three).

#include "engine/enginejob.h"
#include "engine/partitioned/partitionfiles.h"
#include "engine/systemfiles.h"
#include "engine/workers.h"
#include "engine/writing/emitter.h"

#include <QFile>

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// Partitions are not made smaller than these, whatever the budget: at first, and by splitting.
constexpr qint64 kSmallestPartition = qint64(1) << 20;
constexpr qint64 kSmallestSplit = qint64(64) << 10;
constexpr std::size_t kFewestToSplit = 1024;
// What a partition holds for each of its different lines besides its key: an entry, a slot of
// its table (a third of them free, up to twice that many before the table grows) and its place
// among the kept lines.
constexpr qint64 kBytesPerEntry = 48 + 32 + 16;
// The files open besides the first partitions: the program's own, the inputs, the kept lines and
// the splits of two partitions at once.
constexpr qint64 kFilesBesidePartitions = 64;

struct Partition {
    std::unique_ptr<QFile> file;
    int shift = 0;      // the hash bits that chose this partition's children start below this
    qint64 records = 0; // how many records it holds
};

class Partitioned {
public:
    Partitioned(EngineJob& job, Emitter& out)
        : job_(job), out_(out), options_(job.settings.options),
          threads_(EngineThreads(job.settings)), removedFiles_(std::size_t(threads_)) {}
    EngineResult run();

private:
    bool scatter(int bits, QString* reason);
    bool finishAll(QString* reason);
    bool finish(Partition& partition, int worker, QString* reason,
                std::vector<Partition>* children);
    bool split(Partition& partition, QString* reason, std::vector<Partition>* children);
    bool gather(QString* reason);
    // Reads a kept line's sum from where a sum run says it is.
    bool readSum(quint64 at, QString* sum, QString* reason);
    // The memory each of the partitions finished at once (one per worker) may take: its share of
    // the budget, less what each reads through and room for the rest of the program.
    qint64 workerLimit() const {
        return std::max(job_.budget / threads_ - readBuffer_ - (qint64(8) << 20),
                        job_.budget / (qint64(2) * threads_));
    }
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
    const int threads_; // the workers that share the work
    qint64 linesRead_ = 0;
    qint64 blanks_ = 0;
    qint64 blanksKept_ = 0;
    qint64 keyless_ = 0;
    std::vector<Partition> partitions_;

    std::mutex mutex_; // guards what the workers share below
    std::deque<Partition> queue_;
    // The lines each finished partition keeps, in index order: runs in one file.
    std::unique_ptr<QFile> keptFile_;
    std::vector<KeptRun> keptRuns_;
    // With sums: the sums of the kept lines that merge copies, and runs of (index, where its sum
    // is in sumsFile_) in keptFile_.
    std::unique_ptr<QFile> sumsFile_;
    std::vector<KeptRun> sumRuns_;
    // Where the removed lines are wanted, why each line of a partition went, in index order:
    // runs in a file of each worker.
    std::vector<std::unique_ptr<QFile>> removedFiles_;
    std::vector<KeptRun> removedRuns_;
    qint64 distinct_ = 0;
    qint64 repeated_ = 0;
    std::vector<qint64> removedByList_; // how many lines each compared list removed
    std::vector<Kept> repeats_;         // most frequent repeated lines: count and kept index
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
