#pragma once

// Folder engine/inmemory: the in-memory way. The table of lines by their hashes (linetable),
// short lines held by their codes (linebytes), the first copies of a file read through a buffer
// (firstcopies, readagain), and the way itself: in batches, in one step, and against lists.

// The in-memory way, shared by its files: inmemory.cpp decides the lines, inmemorylists.cpp
// compares them with the lists.

#include "core/keeprules.h"
#include "engine/enginejob.h"
#include "engine/inmemory/firstcopies.h"
#include "engine/inmemory/linetable.h"
#include "engine/reading/linereader.h"
#include "engine/reading/segment.h"
#include "engine/workers.h"
#include "engine/writing/emitter.h"
#include "engine/writing/removed.h"

#include <memory>
#include <vector>

// Decides every line while the input and the table fit in the budget: one pass for the default
// rule, two when the decision for a line depends on lines after it (or on counts).
class InMemory {
public:
    InMemory(EngineJob& job, Emitter& out)
        : job_(job), out_(out), options_(job.settings.options),
          counting_(job.settings.writeCounts || job.settings.collectRepeats ||
                    job.settings.options.sort == SortOrder::Count),
          summing_(options_.key.sumColumn > 0), tables_{LineTable(counting_, job.removed != nullptr,
                                                                  ChoosesByLength(options_.keep),
                                                                  summing_),
                                                        LineTable(counting_, job.removed != nullptr,
                                                                  ChoosesByLength(options_.keep),
                                                                  summing_)},
          workers_(EngineThreads(job.settings)), splitter_(options_, job.keyWay, workers_),
          checkers_{std::make_unique<LineReader>(options_, job.keyWay),
                    std::make_unique<LineReader>(options_, job.keyWay)} {
        splitter_.setTicker([this](qint64 bytes) { job_.during(bytes); });
    }

    EngineResult run();

private:
    // With sums and nothing asked of each line but whether it stays, the kept lines are written
    // from the tables after one pass, in input order.
    bool gathersFromTables() const { return summing_ && !job_.removed && !comparesLists(); }
    bool emitFromTables();
    bool secondPassNeeded() const {
        if (gathersFromTables())
            return false;
        return options_.keep != KeepMode::First || job_.settings.writeCounts ||
               options_.sort == SortOrder::Count || summing_;
    }
    // Decides the batch's lines whose hash falls in one half of the hash space (0 or 1), or all
    // of them (kBothShares).
    void decide(const Segment& s, unsigned share);
    static constexpr unsigned kBothShares = 2;
    bool emitKept(const Segment& s);
    // The default rule for a batch of byte lines on one thread: each line split off, looked up
    // and written in one step. Returns the number of lines, or -1 when the output failed.
    qint64 filterInOneStep(const Segment& s, const uchar* from, const uchar* to);
    // True when a batch can take that way: the first copy of each line's own bytes is kept, in a
    // byte-wide encoding, and nothing else is asked for (no counts, lists or removed lines).
    bool oneStep(const Segment& s) const;
    bool emitSecondPass(const Segment& s);
    bool collectRepeats(EngineResult& result);
    // Reads the compared lists: for each key one of them holds, which ones do.
    bool readLists();
    // Sizes the tables once for the lines still to come, from the first batch's share of new
    // lines, so that they do not grow step by step, moving every line again at each step.
    void sizeTables();
    // The number of the list that removes a line of the input (counted for it, in the counts of
    // one share), or -1 when the lists let it stay.
    int removingList(const Segment& s, const LineRef& line, LineReader& checker, unsigned share);
    // Why a line that the second pass does not keep went.
    Removal removalOf(const Segment& s, const LineRef& line, qint64 index);
    bool comparesLists() const { return (job_.excluding | job_.intersecting) != 0; }
    // Where a line's place in its table is only ever compared with (one pass, the first copy kept,
    // nothing asked of the lines after), its first copy can be kept in copies_ instead of in the
    // inputs.
    bool mayCopyFirstLines() const {
        return job_.keyWay == KeyWay::Bytes && options_.keep == KeepMode::First && !counting_ &&
               !job_.removed && !comparesLists();
    }
    // Keeps the first copy of a line just put into `table`, where it is taken.
    void copyFirstLine(unsigned share, LineTable::Slot& slot, const Segment& s, const uchar* line,
                       qint64 length) {
        quint64 place = 0;
        if (copying_ && FirstCopies::Takes(s, length) && copies_[share].add(line, length, &place))
            slot.pos = place;
    }

    EngineJob& job_;
    Emitter& out_;
    const FilterOptions options_;
    const bool counting_;
    const bool summing_; // the copies' summed column is added up in the tables
    LineTable tables_[2];
    // The first copies of the lines of each table, while copying_.
    FirstCopies copies_[2];
    bool copying_ = false;
    // The lines of a batch are split on every worker; they are decided in two shares of the hash
    // space, each with its own table, on two of them (or both on one).
    Workers workers_;
    BatchSplitter splitter_;
    std::unique_ptr<LineReader> checkers_[2]; // for deciding, one per share of the hash space
    std::vector<LineRef> lines_;
    std::vector<quint8> keep_;
    qint64 lineIndex_ = 0; // of the batch's first line
    qint64 blanks_ = 0;
    qint64 blanksKept_ = 0;
    qint64 keyless_ = 0;
    // Where the kept lines are written from the tables: the kept blank lines (marked by
    // kSeenAgain) and lines without a key, by their positions.
    std::vector<quint64> loose_;
    // The tables are sized once, after a sample of the first lines (an eighth of them, within
    // bounds): from the new lines among the first and the second half of the sample, counted
    // apart by the two shares.
    static constexpr qint64 kSampleLines = qint64(1) << 16;
    static constexpr qint64 kLargestSampleLines = qint64(1) << 20;
    qint64 sampleLines() const;
    const qint64 sampleTo_ = sampleLines();
    const qint64 sampleFrom_ = sampleTo_ / 2;
    qint64 newEarly_[2] = {0, 0};
    qint64 newLate_[2] = {0, 0};
    // The keys of the compared lists, each with the bits of the lists that hold it.
    LineTable lists_{true};
    // How many lines each list removed, counted apart by the two shares of the work.
    std::vector<qint64> removedByList_[2];
    // Where a second pass decides: for each line of the input, the number + 1 of the list that
    // removes it (0: none).
    std::vector<quint8> listRemoved_;
    // Where one pass decides and the removed lines are wanted: why each line of the batch went.
    std::vector<Removal> removal_;
};
