#pragma once

#include "engine/engine.h"
#include "engine/window/largefile.h"
#include "files/textcodec.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

// The statistic of a filter, and its export: every repeated line with how often it occurs,
// however many there are.

class RemovedRows;

// What a filter worked on: the text of the input box, or a large file.
using FilterSource = std::variant<QString, std::shared_ptr<const LargeFile>>;

// The counts of a filter and its most frequent repeated lines: all of them, or as many as the
// list was given room for.
struct Statistic {
    EngineStats stats;
    std::vector<RepeatedLine> rows; // most frequent first (ties in input order)
    // The removed lines of the same filter, once they have been listed (set on the window's
    // thread only), so that they too are listed once for each filter.
    mutable std::shared_ptr<const RemovedRows> removed;
    bool complete() const { return qint64(rows.size()) >= stats.repeatedLines; }
};

// The settings as the engine reads a large file with them: one file in the encoding it was
// opened in.
EngineSettings ReadingLargeFile(const LargeFile& file, EngineSettings settings);

// Runs the engine over the source with the settings and writes the result nowhere; a large file
// that changed since it was opened fails.
EngineResult RunOverSource(const FilterSource& source, EngineSettings settings,
                           const EngineProgress& progress);

// Runs the engine over the source with the settings (collectRepeats set, repeatsLimit the room
// of the list) and writes nothing.
EngineResult CountRepeats(const FilterSource& source, EngineSettings settings,
                          const EngineProgress& progress);

// Hands every repeated line of the statistic to `out`, most frequent first: from the statistic
// itself when it holds them all, otherwise streamed from the engine once more. `out` returning
// false cancels.
Outcome ForEachRepeat(const Statistic& statistic, const FilterSource& source,
                      const EngineSettings& settings, const EngineProgress& progress,
                      const std::function<bool(const RepeatedLine&)>& out);

// The list as text: a line "次数<TAB>行" for each repeated line, each ended by CR LF.
QString RepeatsListText(const std::vector<RepeatedLine>& rows);

// Every row of the statistic as text, as RepeatsListText writes it, into *into.
Outcome AllRepeatsText(const Statistic& statistic, const FilterSource& source,
                       const EngineSettings& settings, const EngineProgress& progress,
                       QString* into);

// Rows of text handed one at a time to a RowSink, which returns false to stop them; a RowSource
// hands its rows to the sink it is given and tells how that ended.
using RowSink = std::function<bool(QStringView row)>;
using RowSource = std::function<Outcome(const RowSink&)>;

// Saves the rows to `path` through the safe save, in `encoding` with its byte-order mark, each
// row ended by `lineBreak`. A row GBK cannot hold is written as GB18030 unless `exact`, in which
// case, as for any character the encoding lacks, nothing is written. A failure names the file.
Outcome SaveRows(const QString& path, TextEncoding encoding, LineBreak lineBreak, bool exact,
                 const RowSource& rows);

// Saves every row of the statistic to `path` through the safe save, in `encoding` with its
// byte-order mark, each line ended by `lineBreak`. A row GBK cannot hold is written as GB18030
// unless `exact`, in which case, as for any character the encoding lacks, nothing is written.
// A failure names the file.
Outcome SaveAllRepeats(const Statistic& statistic, const FilterSource& source,
                       const EngineSettings& settings, const QString& path, TextEncoding encoding,
                       LineBreak lineBreak, bool exact, const EngineProgress& progress);
