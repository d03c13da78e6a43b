#pragma once

#include "engine/engine.h"
#include "ui/statistic/repeatsexport.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <functional>
#include <utility>
#include <vector>

// The near repeats of a filter as the statistic's page 相似的行 shows them: for each kept line
// that lines went for, the lines that did, with how alike each is to it.

// Where a line is: its input (from 0) and its number in it (from 1).
using LinePlace = std::pair<int, qint64>;

struct SimilarMember {
    LinePlace place;
    int similarity = 100; // in percent; 100 for an equal key
    QString text;
};

struct SimilarGroup {
    LinePlace kept;
    QString keptText;
    std::vector<SimilarMember> members; // in input order
};

struct SimilarGroups {
    std::vector<SimilarGroup> groups; // the largest first, ties by the kept line's place
    qint64 rows = 0;                  // members held
    qint64 nearLines = 0;             // lines that went as near repeats, held or not
    bool complete = true;             // every such group is held
};

// The groups of the removed lines that have a near repeat (a group of equal copies only is none
// of this page's business); `keptText` gives the kept line's text. At most `mostRows` members are
// held.
SimilarGroups GroupSimilar(const std::vector<RemovedLine>& removed,
                           const std::function<QString(LinePlace)>& keptText,
                           qint64 mostRows = 1000000);

// Runs the filter of `settings` (with near repeats) over the source once more and groups what
// went. The kept lines' texts come from the text of the input box, or are read again from a
// large file (only those of the groups held).
Outcome ListSimilar(const FilterSource& source, EngineSettings settings,
                    const EngineProgress& progress, SimilarGroups* into);

// For each character of `line`, 1 where it differs from `kept` (by an alignment with the fewest
// edits), else 0.
QByteArray DifferingChars(QStringView kept, QStringView line);
