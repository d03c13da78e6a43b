#pragma once

#include "core/filteroptions.h"
#include "core/listkind.h"
#include "core/outcome.h"
#include "files/textcodec.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

// Removes repeated lines from files of any size without decoding them where it need not: for one
// encoding, two lines are equal as text exactly when their bytes are equal. Lines end at CR LF, a
// lone LF or a lone CR, counted in the encoding's own units. The result keeps the input's
// encoding, byte-order mark and most common line break unless told otherwise.
//
// Memory: a fixed part plus about 16 bytes per distinct line while the input and its table fit
// the budget; beyond it the lines are partitioned by hash into temporary files, finished one
// partition at a time, and put back in input order.

// Reports progress (bytes done of total); returning false cancels the work.
using EngineProgress = std::function<bool(qint64 done, qint64 total)>;

// Where the result goes.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    // Returns false when the bytes could not be written; error() then says why.
    virtual bool write(const char* data, qint64 size) = 0;
    virtual QString error() const = 0;
};

// Gathers the result in memory.
class BytesSink final : public OutputSink {
public:
    bool write(const char* data, qint64 size) override {
        bytes.append(data, qsizetype(size));
        return true;
    }
    QString error() const override { return {}; }
    QByteArray bytes;
};

struct RepeatedLine;

// A list the input is compared with: every line of the input whose key occurs in an excluding
// list goes; with intersecting lists, only the lines whose key occurs in every one of them stay.
// A list's lines are keyed by the same rules as the input's, in the list's own encoding; its
// repeats, blank lines and lines without a key mean nothing. A list may be of any size.
struct ComparedList {
    using Kind = ListKind;
    Kind kind = Kind::Exclude;
    QString path; // a file ("-" for standard input), or
    QString text; // a text as a box holds it, when there is no path
    QString name; // how messages and counts name it
    bool operator==(const ComparedList&) const = default;
};
// As many lists as one comparison takes.
constexpr int kMostComparedLists = 64;

// A line of the input that is not in the result, and why.
struct RemovedLine {
    enum class Why {
        Repeat, // it repeats another line: the copy that stays (where no copy stays, the first
                // copy of its key, and for that first copy the second)
        List,   // a compared list removed it
        Blank,  // a blank line after the first line
        Once,   // it occurs once, where only repeated lines stay
    };
    int input = 0;   // the input it is in, by their order from 0
    qint64 line = 0; // its number in that input, from 1
    Why why = Why::Repeat;
    int keptInput = 0;   // Repeat: where the line it repeats is
    qint64 keptLine = 0; //
    int list = -1;       // List: the list's number
    // Repeat, with FilterOptions::similar: how alike its key is to the kept line's, in whole
    // percent (the greatest P at which the two are similar); 100 for equal keys.
    int similarity = 100;
    QString text; // the line as it was
};

struct EngineSettings {
    FilterOptions options;
    std::optional<TextEncoding> inputEncoding; // forced; otherwise detected for each input
    // Chosen: written in it or not at all (a text GBK cannot hold fails the work, as a chosen
    // encoding does in the window's saves); otherwise the first input's, where GBK becomes
    // GB18030 for a text it cannot hold.
    std::optional<TextEncoding> outputEncoding;
    std::optional<LineBreak> lineBreak; // otherwise the inputs' most common one
    bool writeCounts = false;         // each kept line is preceded by how often it occurs and a tab
    bool collectRepeats = false;      // fills EngineResult::repeats
    qsizetype repeatsLimit = 1000000; // the most frequent repeated lines that are kept
    qint64 memoryBudget = 0;          // bytes; 0: DefaultMemoryBudget()
    QString tempDir;                  // for partitions and spooled input; empty: the system's
    int threads = 0;                  // threads that share the work; 0: one per processor core
    // A handle that becomes readable when the work must stop: a wait for a stream (standard
    // input, a FIFO) that may never end is woken by it. -1: none.
    int wakeHandle = -1;
    // Set (from anywhere) when the work must stop; looked at also inside a very long line, where
    // the progress is not told. The progress callback's false stops the work too.
    const std::atomic<bool>* stop = nullptr;
    // Files up to this size are read into memory, larger ones mapped (their pages let go as the
    // work moves on, so that memory does not grow with them).
    qint64 readWholeBytes = qint64(16) << 20;
    // With collectRepeats: when set, every repeated line, most frequent first, is handed here
    // instead of being kept in EngineResult::repeats (repeatsLimit does not apply). Returning
    // false stops the work, as a cancel does.
    std::function<bool(const RepeatedLine&)> repeatsOut;
    // The lists the input is compared with (at most kMostComparedLists).
    std::vector<ComparedList> lists;
    // Where the removed lines are written, one a line in input order: its number (with several
    // inputs "name:number"), a tab, the number of the line it repeats (or the name of the list that
    // removed it, "blank" for a blank line, "unique" for a line that occurs once where only
    // repeated lines stay), a tab, and the line as it was (see RemovedRowNames for how names are
    // written); in the result's encoding and line break. Null: nowhere.
    OutputSink* removedSink = nullptr;
    // Every removed line, in input order. Returning false stops the work, as a cancel does.
    std::function<bool(const RemovedLine&)> removedOut;
    // With FilterOptions::similar: lines that stay although they are near repeats, each as its
    // input (from 0) and its number in it (from 1), sorted. Nothing goes for such a line: the
    // other lines are decided as without it.
    std::vector<std::pair<int, qint64>> keptByHand;
    // How the removed lines name the inputs; empty: by their paths.
    QStringList inputNames;
};

struct EngineStats {
    qint64 linesRead = 0;
    qint64 linesKept = 0;
    qint64 linesRemoved = 0;
    qint64 distinctLines = 0;  // distinct non-blank lines (by the comparison rules)
    qint64 repeatedLines = 0;  // distinct non-blank lines that occur more than once
    qint64 blankLines = 0;     // blank lines read (by the comparison rules)
    qint64 blankLinesKept = 0; // of them, those written
    qint64 keylessLines = 0;   // lines read without a key (too few columns, no match)
    // With FilterOptions::similar: the lines that went for a kept line whose key is near theirs
    // but not equal, and how many pairs of keys had their edit distance computed.
    qint64 similarLines = 0;
    qint64 comparisons = 0;
    qint64 keptByHand = 0; // near repeats that stayed by EngineSettings::keptByHand
    // For each compared list, in the order of EngineSettings::lists, how many lines of the input
    // it removed (every copy of a line whose key it holds, or does not hold when it intersects).
    std::vector<qint64> removedByList;
};

// One repeated line of the statistic: its text as kept, and how often it occurs.
struct RepeatedLine {
    QString text;
    qint64 count = 0;
};

struct EngineResult {
    Outcome outcome; // a failure names the file and the reason
    EngineStats stats;
    TextEncoding outputEncoding = TextEncoding::Gbk;
    LineBreak lineBreak = LineBreak::CrLf;
    bool partitioned = false;
    int partitions = 0; // partitions finished, splits included
    int sortRuns = 0;   // sorted runs the kept lines went through in the temporary folder
    // With collectRepeats: the repeated lines, most frequent first (ties in input order).
    std::vector<RepeatedLine> repeats;
    // With KeyRule::header: the inputs (by number from 0) whose first line differs from the
    // first input's header and so was compared as a line.
    std::vector<int> differentHeaders;
    bool ok() const { return outcome.ok(); }
};

// A fair share of this machine's memory: half of what is available now (at least 256 MiB), so
// that a job that fits is never partitioned and the desktop keeps room; where the system does not
// say what is available, an eighth of the memory, between 256 MiB and 1.5 GiB.
qint64 DefaultMemoryBudget();

// The folder temporary files go to: `asked` when given, else the system's. A folder that does not
// exist, or is no folder, is replaced by the system's standard one, and *warning says so.
QString TemporaryFolder(const QString& asked, QString* warning = nullptr);

// Filters the files (a path of "-" is standard input) as one text, in order, into `out`.
EngineResult FilterFiles(const QStringList& paths, OutputSink& out, const EngineSettings& settings,
                         const EngineProgress& progress = {});

// Filters bytes held in memory exactly as the file holding them would be filtered.
EngineResult FilterBytes(QByteArrayView bytes, OutputSink& out, const EngineSettings& settings,
                         const EngineProgress& progress = {});

// Filters a text held in memory (as a text box holds it) into a text; lines end with CR LF.
struct TextFilterResult {
    QString text;
    EngineResult result;
};
TextFilterResult FilterText(QStringView text, const EngineSettings& settings,
                            const EngineProgress& progress = {});

// The filter of the window's boxes, by its name of old: a box's text in, its kept lines out, each
// ended by CR LF (empty when the work fails). The same work as FilterText.
QString FilterDuplicateLines(QStringView text, const EngineSettings& settings = {});
