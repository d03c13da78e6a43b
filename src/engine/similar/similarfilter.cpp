// The way of working for near repeats: every line decided in one pass, in input order, against
// the keys of the lines kept so far.
#include "core/keeprules.h"
#include "engine/enginejob.h"
#include "engine/reading/batches.h"
#include "engine/reading/linereader.h"
#include "engine/similar/similarindex.h"
#include "engine/writing/emitter.h"
#include "engine/writing/removed.h"

#include <QHash>

namespace {

// Lines, or bytes of lines, told to the progress at a time: long keys at a low percentage take a
// while each.
constexpr qint64 kProgressLines = 64;
constexpr qint64 kProgressBytes = 4096;
// What a key of the lists costs in its table besides its bytes.
constexpr qint64 kListKeyBytes = 64;

// The code points of a UTF-16 key; a surrogate that is not part of a pair is one on its own.
void CodePoints(QByteArrayView key, std::u32string& out) {
    const auto* units = reinterpret_cast<const char16_t*>(key.data());
    const qsizetype n = key.size() / 2;
    out.clear();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = units[i];
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(units[i + 1])) {
            out.push_back(QChar::surrogateToUcs4(u, units[i + 1]));
            ++i;
        } else {
            out.push_back(u);
        }
    }
}

class SimilarWay {
public:
    SimilarWay(EngineJob& job, Emitter& out)
        : job_(job), out_(out), options_(job.settings.options), reader_(options_, job.keyWay),
          index_(options_.similar, job.settings.stop) {}

    EngineResult run();

private:
    bool comparesLists() const { return (job_.excluding | job_.intersecting) != 0; }
    bool readLists();
    // Decides one line and writes it where it goes.
    enum class Decided { Written, Failed, Stopped };
    Decided decide(const Segment& s, const uchar* line, qint64 length);
    // Whether the line with this index, in this input, is to stay all the same.
    bool keptByHand(int input, qint64 index);
    // The greatest percentage at which two different keys are similar.
    static int Similarity(std::u32string_view a, std::u32string_view b);
    // The memory held, and whether it is still within the budget.
    qint64 held() const { return index_.memoryBytes() + listBytes_; }

    EngineJob& job_;
    Emitter& out_;
    const FilterOptions& options_;
    LineReader reader_;
    SimilarIndex index_;
    QHash<QByteArray, quint64> lists_; // each key of the lists, and the lists that hold it
    qint64 listBytes_ = 0;
    std::vector<qint64> removedByList_;
    std::vector<quint64> keptLine_; // for each kept key, its line's index
    std::vector<quint8> repeated_;  // for each kept key, whether a line went for it
    std::u32string codePoints_;
    qint64 lineIndex_ = 0;
    qint64 blanks_ = 0;
    qint64 blanksKept_ = 0;
    qint64 keyless_ = 0;
    qint64 near_ = 0;
    qint64 byHand_ = 0;
    // The index of each input's first line, as far as they were read.
    std::vector<qint64> inputStarts_;
};

bool SimilarWay::keptByHand(int input, qint64 index) {
    const auto& byHand = job_.settings.keptByHand;
    if (byHand.empty() || input < 0 || std::size_t(input) >= inputStarts_.size())
        return false;
    const qint64 start = inputStarts_[std::size_t(input)];
    return std::binary_search(byHand.begin(), byHand.end(),
                              std::pair<int, qint64>(input, index - start + 1));
}

int SimilarWay::Similarity(std::u32string_view a, std::u32string_view b) {
    const auto longer = qint64(std::max(a.size(), b.size()));
    const qint64 d = BoundedEditDistance(a, b, longer);
    // 100 - ceil(100 * d / longer): the greatest P with 100 * d <= (100 - P) * longer.
    return int(100 - (100 * d + longer - 1) / longer);
}

bool SimilarWay::readLists() {
    return ForEachBatch(
        job_.inputs,
        [&](const Segment& s, const uchar* from, const uchar* to) {
            ForEachLineOf(s, from, to, [&](const uchar* line, qint64 length) {
                bool keyless = false;
                const QByteArrayView key = reader_.key(s, line, length, 0, &keyless);
                if (keyless || key.isEmpty())
                    return; // a list's blank lines and lines without a key mean nothing
                quint64& holding = lists_[key.toByteArray()];
                if (holding == 0)
                    listBytes_ += key.size() + kListKeyBytes;
                holding |= quint64(1) << s.list;
            });
            return job_.advance(to - from);
        },
        Reading::Lists);
}

SimilarWay::Decided SimilarWay::decide(const Segment& s, const uchar* line, qint64 length) {
    const auto index = quint64(lineIndex_++);
    bool keyless = false;
    const QByteArrayView key = reader_.key(s, line, length, 0, &keyless);
    Removal removal;
    bool keep = false;
    if (keyless) {
        ++keyless_;
        keep = KeepsKeyless(KeepMode::First, job_.intersecting != 0);
        if (!keep) {
            removal = KeylessRemoval(job_);
            if (removal.why == RemovedLine::Why::List)
                ++removedByList_[std::size_t(removal.ref)];
        }
    } else if (key.isEmpty()) {
        ++blanks_;
        keep = KeepsBlankLine(options_, qint64(index));
        blanksKept_ += keep;
        removal = {RemovedLine::Why::Blank, 0};
    } else {
        const quint64 holding = comparesLists() ? lists_.value(key.toByteArray()) : 0;
        if (!PassesLists(holding, job_.excluding, job_.intersecting)) {
            const int list = RemovingList(holding, job_.excluding, job_.intersecting);
            ++removedByList_[std::size_t(list)];
            removal = {RemovedLine::Why::List, quint64(list)};
        } else {
            CodePoints(key, codePoints_);
            const qint64 id = index_.find(codePoints_);
            if (id == SimilarIndex::kStopped)
                return Decided::Stopped;
            if (id < 0) {
                index_.add(codePoints_);
                keptLine_.push_back(index);
                repeated_.push_back(0);
                keep = true;
            } else if (keptByHand(s.input, qint64(index))) {
                ++byHand_;
                keep = true;
            } else {
                removal = {RemovedLine::Why::Repeat, keptLine_[std::size_t(id)]};
                repeated_[std::size_t(id)] = 1;
                const std::u32string_view kept = index_.keyAt(id);
                if (kept != std::u32string_view(codePoints_)) {
                    ++near_;
                    removal.similarity = Similarity(kept, codePoints_);
                }
            }
        }
    }
    const bool written =
        keep ? out_.line(s, line, length, 0)
             : !job_.removed || job_.removed->write(index, s, line, length, removal);
    return written ? Decided::Written : Decided::Failed;
}

EngineResult SimilarWay::run() {
    EngineResult result;
    job_.passes = 1;
    removedByList_.assign(job_.settings.lists.size(), 0);
    if (job_.settings.writeCounts) {
        result.outcome = Outcome::failed(QStringLiteral("按相似度比较时不能写出每行出现的次数。"));
        return result;
    }
    if (comparesLists() && !readLists()) {
        result.outcome = Outcome::cancelled();
        return result;
    }
    bool cancelled = false;
    bool failed = false;
    QString tooLarge;
    const bool ok =
        ForEachBatch(job_.inputs, [&](const Segment& s, const uchar* from, const uchar* to) {
            if (job_.removed)
                job_.removed->inputStarts(s.input, quint64(lineIndex_));
            if (s.input >= 0) {
                if (inputStarts_.size() <= std::size_t(s.input))
                    inputStarts_.resize(std::size_t(s.input) + 1, -1);
                if (inputStarts_[std::size_t(s.input)] < 0)
                    inputStarts_[std::size_t(s.input)] = lineIndex_;
            }
            qint64 told = 0;
            qint64 lines = 0;
            const uchar* reached = from;
            bool stop = false;
            ForEachLineOf(s, from, to, [&](const uchar* line, qint64 length) {
                if (stop)
                    return;
                const Decided decided = decide(s, line, length);
                if (decided != Decided::Written) {
                    (decided == Decided::Failed ? failed : cancelled) = true;
                    stop = true;
                    return;
                }
                reached = line + length;
                if (++lines % kProgressLines == 0 || reached - from - told >= kProgressBytes) {
                    const qint64 step = std::min(reached, to) - from - told;
                    told += step;
                    if (!job_.advance(step))
                        cancelled = stop = true;
                }
            });
            if (stop)
                return false;
            if (!job_.advance(to - from - told)) {
                cancelled = true;
                return false;
            }
            if (held() > job_.budget) {
                // What the whole input would take at the rate so far.
                const double need = double(held()) * double(job_.inputs.totalBytes) /
                                    double(std::max<qint64>(1, job_.done));
                constexpr double kMiB = 1024.0 * 1024.0;
                tooLarge = QStringLiteral("按相似度比较这些行需要约 %1 MiB 内存，超过了可以使用的 "
                                          "%2 MiB，没有写出任何结果。")
                               .arg(qint64(need / kMiB) + 1)
                               .arg(job_.budget / qint64(kMiB));
                return false;
            }
            return true;
        });
    if (!ok) {
        if (!tooLarge.isEmpty())
            result.outcome = Outcome::failed(tooLarge);
        else if (cancelled || !failed)
            result.outcome = Outcome::cancelled();
        else
            result.outcome = Outcome::failed(out_.error());
        return result;
    }
    result.stats.linesRead = lineIndex_;
    result.stats.distinctLines = index_.size();
    result.stats.repeatedLines = std::count(repeated_.begin(), repeated_.end(), quint8(1));
    result.stats.similarLines = near_;
    result.stats.blankLines = blanks_;
    result.stats.blankLinesKept = blanksKept_;
    result.stats.keylessLines = keyless_;
    result.stats.removedByList = removedByList_;
    result.stats.comparisons = index_.verifications();
    result.stats.keptByHand = byHand_;
    return result;
}

} // namespace

EngineResult RunSimilar(EngineJob& job, Emitter& out) {
    return SimilarWay(job, out).run();
}
