// The in-memory way: every line decided while the input and the table fit in the budget.
#include "engine/inmemory/inmemory.h"
#include "core/keeprules.h"
#include "engine/inmemory/linebytes.h"

#include <algorithm>
#include <atomic>

namespace {
// Lines shorter than this on average are decided on one thread; and shorter than the second,
// when the first kSampleLines hold at most kFewDistinctLines different ones.
constexpr qint64 kTwoThreadsFromLineBytes = 16;
constexpr qint64 kOneThreadFewLineBytes = 256;
constexpr qint64 kFewDistinctLines = 4096;
} // namespace

qint64 InMemory::sampleLines() const {
    return std::clamp(job_.lines / 8, kSampleLines, kLargestSampleLines);
}

void InMemory::sizeTables() {
    if (lineIndex_ <= 0 || job_.lines <= lineIndex_ || lineIndex_ < sampleLines())
        return;
    DistinctSample sample;
    sample.lines = sampleLines();
    sample.early = newEarly_[0] + newEarly_[1];
    sample.late = newLate_[0] + newLate_[1];
    sample.read = lineIndex_;
    sample.found = tables_[0].size() + tables_[1].size();
    const qint64 expected = ExpectedDistinctLines(sample, job_.lines);
    for (LineTable& table : tables_)
        table.reserve(expected / 2 + expected / 16);
    if (StopsCopying(sample))
        copying_ = false;
}

Removal InMemory::removalOf(const Segment& s, const LineRef& line, qint64 index) {
    using Why = RemovedLine::Why;
    if (line.kind == LineKind::Blank)
        return {Why::Blank, 0};
    if (line.kind == LineKind::Keyless)
        return KeylessRemoval(job_);
    if (comparesLists() && listRemoved_[std::size_t(index)])
        return {Why::List, quint64(listRemoved_[std::size_t(index)] - 1)};
    const LineTable& table = tables_[line.hash >> 63];
    const uchar* bytes = s.data + (qint64(line.pos) - s.base);
    const LineTable::Slot* slot = table.find(line.hash, [&](quint64 pos) {
        return checkers_[0]->sameAs(job_.inputs, pos, s, bytes, line.length);
    });
    if (!slot || !(slot->pos & LineTable::kSeenAgain))
        return {Why::Once, 0};
    // The copy that stays; where none does (only lines that occur once), the first copy, and for
    // that one the second.
    const quint64 kept = table.lineOf(*slot);
    if (options_.keep == KeepMode::Unique && kept == quint64(index))
        return {Why::Repeat, table.secondOf(*slot) - 1};
    return {Why::Repeat, kept};
}

// Decides the lines of the batch whose hash falls in this half of the hash space.
void InMemory::decide(const Segment& s, unsigned share) {
    const bool both = share == kBothShares;
    LineReader& checker = *checkers_[both ? 0 : share];
    // With the first copy kept and nothing after a line deciding it, the first pass decides.
    const bool first = options_.keep == KeepMode::First;
    const bool choosing = ChoosesCopy(options_.keep);
    const bool byLength = ChoosesByLength(options_.keep);
    const std::size_t n = lines_.size();
    auto mine = [&](const LineRef& line) { return both || (line.hash >> 63) == share; };
    // Two steps ahead: the slot a line will look at, then the bytes of the line found there,
    // so that neither waits for memory when its turn comes.
    constexpr std::size_t kSlotAhead = 16;
    constexpr std::size_t kLineAhead = 8;
    const bool lists = comparesLists();
    const bool twoPasses = secondPassNeeded();
    const bool gathering = gathersFromTables();
    const unsigned counter = both ? 0 : share;
    // A short line's code tells all: the bytes of the line found need not be read.
    const bool codes = job_.keyWay == KeyWay::Bytes;
    for (std::size_t i = 0; i < n; ++i) {
        if (i + kSlotAhead < n && mine(lines_[i + kSlotAhead])) {
            tables_[lines_[i + kSlotAhead].hash >> 63].prefetch(lines_[i + kSlotAhead].hash);
            if (lists)
                lists_.prefetch(lines_[i + kSlotAhead].hash);
        }
        if (i + kLineAhead < n && mine(lines_[i + kLineAhead]) && s.size > 0 &&
            !(codes && IsCodedLine(lines_[i + kLineAhead].length))) {
            const LineRef& ahead = lines_[i + kLineAhead];
            const quint64 pos = tables_[ahead.hash >> 63].homePosition(ahead.hash);
            if (pos != LineTable::kFree)
                PrefetchFirstCopy(copies_[ahead.hash >> 63], job_.inputs,
                                  pos & LineTable::kPosMask);
            const quint64 listed = lists ? lists_.homePosition(ahead.hash) : LineTable::kFree;
            if (listed != LineTable::kFree)
                job_.inputs.prefetch(listed & LineTable::kPosMask);
        }
        const LineRef& line = lines_[i];
        if (line.kind == LineKind::Blank) {
            if (share == 0 || both) {
                keep_[i] = KeepsBlankLine(options_, lineIndex_ + qint64(i));
                if (keep_[i] && gathering)
                    loose_.push_back(line.pos | LineTable::kSeenAgain); // the mark of a blank
                ++blanks_;
                blanksKept_ += keep_[i];
                if (!removal_.empty())
                    removal_[i] = {RemovedLine::Why::Blank, 0};
            }
            continue;
        }
        if (line.kind == LineKind::Keyless) {
            if (share == 0 || both) {
                keep_[i] = KeepsKeyless(options_.keep, job_.intersecting != 0);
                if (keep_[i] && gathering)
                    loose_.push_back(line.pos);
                ++keyless_;
                if (!keep_[i] && lists)
                    removingList(s, line, checker, counter); // counted for the list
                if (!keep_[i] && !removal_.empty())
                    removal_[i] = KeylessRemoval(job_);
            }
            continue;
        }
        if (!mine(line))
            continue;
        LineTable& table = tables_[line.hash >> 63];
        const FirstCopies& copies = copies_[line.hash >> 63];
        table.reserveOne(std::numeric_limits<qint64>::max());
        const uchar* bytes = s.data + (qint64(line.pos) - s.base);
        bool inserted = false;
        LineTable::Slot& slot = table.findOrInsert(
            line.hash, line.pos,
            [&](quint64 pos) {
                return FirstCopies::Holds(pos)
                           ? copies.same(pos, bytes, line.length)
                           : checker.sameAs(job_.inputs, pos, s, bytes, line.length);
            },
            &inserted);
        // Every copy of a line is compared with the lists; where a second pass decides, the
        // verdict waits for it.
        const int removing = lists ? removingList(s, line, checker, counter) : -1;
        if (lists && twoPasses)
            listRemoved_[std::size_t(lineIndex_) + i] = quint8(removing + 1);
        keep_[i] = inserted && first && removing < 0;
        const quint64 index = quint64(lineIndex_) + i;
        if (summing_)
            table.sumOf(slot).add(line.summedBytes > 0
                                      ? QByteArrayView(bytes + line.summedFrom, line.summedBytes)
                                      : checker.summed(s, bytes, line.length));
        if (inserted) {
            copyFirstLine(unsigned(line.hash >> 63), slot, s, bytes, line.length);
            if (byLength)
                table.charsOf(slot) = quint64(checker.chars(s, bytes, line.length));
            if (const qint64 at = lineIndex_ + qint64(i); at < sampleTo_)
                ++(at < sampleFrom_ ? newEarly_ : newLate_)[counter];
            if (job_.removed)
                table.lineOf(slot) = index;
            if (!keep_[i] && !removal_.empty())
                removal_[i] = {RemovedLine::Why::List, quint64(removing)};
            continue;
        }
        // Whether this copy takes the place of the one chosen so far.
        bool wins = false;
        if (byLength) {
            const auto chars = quint64(checker.chars(s, bytes, line.length));
            wins = LaterCopyWins(options_.keep, table.charsOf(slot), chars);
            if (wins)
                table.charsOf(slot) = chars;
        } else {
            wins = choosing;
        }
        if (job_.removed) {
            if (wins)
                table.lineOf(slot) = index;
            if (table.secondOf(slot) == 0)
                table.secondOf(slot) = index + 1;
            if (!removal_.empty())
                removal_[i] = removing >= 0 ? Removal{RemovedLine::Why::List, quint64(removing)}
                                            : Removal{RemovedLine::Why::Repeat, table.lineOf(slot)};
        }
        slot.pos = (wins ? line.pos : slot.pos) | LineTable::kSeenAgain;
        if (counting_)
            ++table.countOf(slot);
    }
}

bool InMemory::emitKept(const Segment& s) {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const LineRef& line = lines_[i];
        if (!keep_[i]) {
            if (job_.removed && !job_.removed->write(quint64(lineIndex_) + i, s,
                                                     s.data + (qint64(line.pos) - s.base),
                                                     line.length, removal_[i]))
                return false;
            continue;
        }
        if (!out_.line(s, s.data + (qint64(line.pos) - s.base), line.length, 0))
            return false;
    }
    return true;
}

bool InMemory::emitSecondPass(const Segment& s) {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const LineRef& line = lines_[i];
        quint64 count = 1;
        bool kept = false;
        QString sum;
        if (line.kind == LineKind::Blank) {
            kept = KeepsBlankLine(options_, lineIndex_ + qint64(i));
            count = quint64(BlankLineCount(options_, blanks_));
        } else if (line.kind == LineKind::Keyless) {
            kept = KeepsKeyless(options_.keep, job_.intersecting != 0);
        } else if (comparesLists() && listRemoved_[std::size_t(lineIndex_) + i] != 0) {
            kept = false; // every copy of a line the lists remove
        } else {
            const LineTable& table = tables_[line.hash >> 63];
            const LineTable::Slot* slot = table.findAt(line.hash, line.pos);
            if (slot) {
                const bool repeated = (slot->pos & LineTable::kSeenAgain) != 0;
                kept = KeepsKey(options_.keep, repeated);
                if (counting_)
                    count = table.countOf(*slot);
                // A line met once is written as it stands; merged copies with their sum.
                if (summing_ && repeated)
                    sum = table.sumOf(*slot).text();
            }
        }
        const uchar* bytes = s.data + (qint64(line.pos) - s.base);
        if (kept && !out_.line(s, bytes, line.length, count, sum))
            return false;
        if (!kept && job_.removed &&
            !job_.removed->write(quint64(lineIndex_) + i, s, bytes, line.length,
                                 removalOf(s, line, lineIndex_ + qint64(i))))
            return false;
    }
    return true;
}

// False when the receiver of streamed lines stopped the work.
bool InMemory::collectRepeats(EngineResult& result) {
    struct Entry {
        quint64 count;
        quint64 pos;
    };
    std::vector<Entry> entries;
    for (const LineTable& table : tables_) {
        table.forEach([&](const LineTable::Slot& slot) {
            if (slot.pos & LineTable::kSeenAgain)
                entries.push_back(Entry{table.countOf(slot), slot.pos & LineTable::kPosMask});
        });
    }
    const auto& stream = job_.settings.repeatsOut;
    const auto limit =
        stream ? entries.size() : std::min(entries.size(), std::size_t(job_.settings.repeatsLimit));
    std::partial_sort(entries.begin(), entries.begin() + qsizetype(limit), entries.end(),
                      [](const Entry& a, const Entry& b) {
                          return a.count != b.count ? a.count > b.count : a.pos < b.pos;
                      });
    entries.resize(limit);
    if (!stream)
        result.repeats.reserve(limit);
    for (const Entry& e : entries) {
        const Segment& s = job_.inputs.at(e.pos);
        const uchar* line = s.data + (qint64(e.pos) - s.base);
        RepeatedLine repeated{LineText(s, line, LineLengthAt(job_.inputs, e.pos)), qint64(e.count)};
        if (!stream)
            result.repeats.push_back(std::move(repeated));
        else if (!stream(repeated))
            return false;
    }
    return true;
}

EngineResult InMemory::run() {
    EngineResult result;
    const bool twoPasses = secondPassNeeded();
    job_.passes = twoPasses ? 2 : 1;
    std::atomic<bool> cancelled = false;

    for (std::vector<qint64>& removed : removedByList_)
        removed.assign(job_.settings.lists.size(), 0);
    if (comparesLists() && !readLists()) {
        result.outcome = Outcome::cancelled();
        return result;
    }
    // Short lines cost more to hand between two threads than to decide on one: one pass does
    // everything, line by line, when the default rule needs nothing after it.
    copying_ = mayCopyFirstLines();
    const bool mayUseOneThread = !twoPasses && !counting_ && job_.lines > 0;
    bool oneThread =
        mayUseOneThread && job_.inputs.totalBytes < job_.lines * kTwoThreadsFromLineBytes;
    bool sized = false;
    bool looked = false;
    auto firstPass = [&](const Segment& s, const uchar* from, const uchar* to) {
        if (job_.removed)
            job_.removed->inputStarts(s.input, quint64(lineIndex_));
        if (oneThread && oneStep(s)) {
            const qint64 lines = filterInOneStep(s, from, to);
            if (lines < 0)
                return false;
            lineIndex_ += lines;
        } else {
            lines_.clear();
            if (oneThread)
                SplitRange(s, from, to, splitter_.reader(), lines_, splitter_.ticker());
            else
                splitter_.split(s, from, to, lines_);
            if (s.stopped()) { // its keys are not all made
                cancelled = true;
                return false;
            }
            keep_.assign(lines_.size(), 0);
            if (comparesLists() && twoPasses)
                listRemoved_.resize(std::size_t(lineIndex_) + lines_.size());
            if (job_.removed && !twoPasses)
                removal_.assign(lines_.size(), Removal{});
            if (oneThread || workers_.size() < 2)
                decide(s, kBothShares);
            else
                workers_.each(2, [&](int share) { decide(s, unsigned(share)); });
            if (!twoPasses && !gathersFromTables() && !emitKept(s))
                return false;
            lineIndex_ += qint64(lines_.size());
        }
        // Lines of a small set (one line over and over, a few hundred words) are decided on one
        // thread once that is seen: their table stays in the processor's cache, and handing
        // them between threads costs more than looking them up.
        if (!looked && lineIndex_ >= kSampleLines) {
            looked = true;
            oneThread = oneThread || (mayUseOneThread &&
                                      tables_[0].size() + tables_[1].size() <= kFewDistinctLines &&
                                      job_.inputs.totalBytes < job_.lines * kOneThreadFewLineBytes);
        }
        if (!sized && lineIndex_ >= sampleLines()) {
            sized = true;
            sizeTables();
        }
        if (!job_.advance(to - from)) {
            cancelled = true;
            return false;
        }
        return true;
    };
    if (!ForEachBatch(job_.inputs, firstPass)) {
        result.outcome = cancelled ? Outcome::cancelled() : Outcome::failed(out_.error());
        return result;
    }
    const qint64 linesRead = lineIndex_;
    if (gathersFromTables() && !emitFromTables()) {
        result.outcome = job_.stopped() ? Outcome::cancelled() : Outcome::failed(out_.error());
        return result;
    }
    if (twoPasses) {
        lineIndex_ = 0;
        auto secondPass = [&](const Segment& s, const uchar* from, const uchar* to) {
            splitter_.split(s, from, to, lines_);
            if (s.stopped()) {
                cancelled = true;
                return false;
            }
            if (!emitSecondPass(s))
                return false;
            lineIndex_ += qint64(lines_.size());
            if (!job_.advance(to - from)) {
                cancelled = true;
                return false;
            }
            return true;
        };
        if (!ForEachBatch(job_.inputs, secondPass)) {
            result.outcome = cancelled ? Outcome::cancelled() : Outcome::failed(out_.error());
            return result;
        }
    }
    result.stats.linesRead = linesRead;
    for (const LineTable& table : tables_) {
        result.stats.distinctLines += table.size();
        table.forEach([&](const LineTable::Slot& slot) {
            if (slot.pos & LineTable::kSeenAgain)
                ++result.stats.repeatedLines;
        });
    }
    result.stats.blankLines = blanks_;
    result.stats.blankLinesKept = blanksKept_;
    result.stats.keylessLines = keyless_;
    result.stats.removedByList = removedByList_[0];
    for (std::size_t i = 0; i < removedByList_[1].size(); ++i)
        result.stats.removedByList[i] += removedByList_[1][i];
    if (job_.settings.collectRepeats && !collectRepeats(result))
        result.outcome = Outcome::cancelled();
    return result;
}

EngineResult RunInMemory(EngineJob& job, Emitter& out) {
    return InMemory(job, out).run();
}
