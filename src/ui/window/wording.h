#pragma once

#include "core/filteroptions.h"
#include "core/grouped.h"
#include "engine/engine.h"

#include <QString>
#include <QStringList>

#include <vector>

struct LargeFile;
struct TextSummary;

// What the window says in its notes and notices, besides the fixed captions of its controls.

// The note over the output box after a filter: how many lines went and what they were, in the
// words of the keep mode: "重复" for the other copies of a line that stays, "有重复的行" for every
// copy of a line that occurs more than once (which the unique mode drops), "没有重复的行" for the
// lines that occur once (which the repeated mode drops; lines without a key among them), and
// "空行" for blank lines. One kind alone reads "已删除 5 行重复"; several
// "已删除 8 行（重复 5 行，空行 3 行）".
//
// With `lists` (those the filter compared with), what each removed comes first, even when it is
// none: "已删除 1,254 行（排除清单删除 1,204 行，重复 50 行）"; where there are several lists,
// each is named ("排除清单 a.txt 删除 3 行"). Which copies of a repeated line a list removed is
// not counted, so where only repeated lines are kept the rest is told as one
// ("没有重复的行和重复 N 行"). Lines without a key, when there are any, follow: "；无键行 3";
// with near repeats, those go as "相似 N 行" apart from the equal ones, and the percentage follows
// ("；相似度达到 90% 的行也算重复"), with the near repeats kept by hand ("，手动保留 2 行");
// then the key, when it is not the whole line: "；比较第 2 列（逗号分隔）、只比较数字".
QString RemovedNote(const EngineStats& stats, const FilterOptions& options,
                    const std::vector<ComparedList>& lists = {});

// The note over the output box once the result no longer belongs to the input and the options.
QString StaleResultNote();
// The note of a result changed by hand since the last filter.
QString HandEditedResultNote();
// The question before a clear that Ctrl+Z could not undo, naming the lines it takes.
QString ClearLosesQuestion(qsizetype lines);

// The notices of the boxes in the large-file mode: each fits in two lines of its box. A pasted
// text too large for the box says so.
QString LargeInputNotice(const LargeFile& input);
QString LargeResultNotice(const TextSummary& summary);
// The note over the input box after several files were imported: their names.
QString ImportedFilesNote(const QStringList& paths);
// The question before a file with bytes its encoding cannot read goes into the input box: it names
// the file (the first such of several) and how many such bytes the files hold.
QString UnreadableImportQuestion(const QString& path, qsizetype unreadable);
// The note over the input box after an import of empty files, which emptied it (short enough to
// be read whole over the box).
QString EmptyImportNote();
