#pragma once

#include "core/keys/keynormalizer.h"
#include "core/linekey.h"

#include <QString>
#include <QStringView>

#include <vector>

// Which copy of a repeated line stays.
enum class KeepMode {
    First,    // the first copy of every line (the default)
    Last,     // the last copy of every line, at its own place
    Unique,   // only the lines that occur once
    Repeated, // one copy of each line that occurs more than once, at its first place
    Longest,  // the copy with the most characters (the first of those), at its own place
    Shortest, // the copy with the fewest characters (the first of those), at its own place
};

// The order the kept lines are written in: as they stood (the default), or by their keys.
enum class SortOrder {
    None,    // the order of the input
    Text,    // code point order
    Natural, // runs of ASCII digits by their value, the rest by code point
    Pinyin,  // the Chinese collation (Han in pinyin order)
    Length,  // the number of characters, fewest first
    Count,   // how often the key occurs, most first
};

// What counts as a repeat. The default compares lines exactly and keeps the first copy. Each
// option is defined in the table of comparisonoptions.h, which everything else reads.
struct FilterOptions {
    bool ignoreCase = false;  // lines equal after Unicode full case folding are repeats
    bool trim = false;        // white space at both ends of a line does not count
    bool ignoreWidth = false; // lines equal after compatibility normalisation (NFKC) are repeats
    bool keepBlank = false;   // blank lines are never removed and never count as repeats
    KeepMode keep = KeepMode::First;
    // 0: only equal keys are repeats. 50 to 99: a line whose key is within this percentage of the
    // key of a kept line (see SimilarAt) goes for the earliest such line; only the first copy is
    // kept then.
    int similar = 0;
    SortOrder sort = SortOrder::None; // the kept lines' order, after repeats are removed
    bool reverse = false;             // the sort order reversed (ties still in input order)
    KeyRule key;                      // the part of a line compared, and what is left out of it

    bool operator==(const FilterOptions&) const = default;
    bool isDefault() const { return *this == FilterOptions{}; }
    // True when an option changes the text compared (case, trimming, width, what the key leaves
    // out): the table says which options do.
    bool changesText() const;
    // True when lines are compared by something other than their exact text.
    bool transformsLines() const { return changesText() || !key.comparesWholeLine(); }
};

// Makes the key two lines are compared by. Of each part of the line that the key rule takes (the
// whole line, each column, what the pattern captures): the part without the white space at its
// ends (when trimming), then NFKC (when ignoring width), then full case folding (when ignoring
// case), then the key rule's normalisations, and trimmed again after them. Several columns are
// joined as AppendKeyColumn says.
//
// Lines are repeats exactly when their keys are equal. A line is blank when it is empty, or only
// white space when trimming: its key is empty. A line that is not blank may have no key (see
// linekey.h); it is told apart by `keyless`. With the whole line and no normalisation (the
// default), no line is keyless and a line is blank exactly when its key is empty.
//
// Keeps buffers between calls: one per thread.
class LineKeyMaker {
public:
    explicit LineKeyMaker(const FilterOptions& options);

    // The key of `line`: a view of the line itself where nothing changes it, otherwise of a buffer
    // that stays valid until the next call. *keyless (when given) tells whether the line has no
    // key; the key is then empty. Without `keyless`, a keyless line looks blank.
    QStringView key(QStringView line, bool* keyless);
    QStringView key(QStringView line) { return key(line, nullptr); }
    // Why the key pattern could not decide the last line (it is then keyless), or an empty string.
    QString undecided() const { return extractor_.undecided(); }
    // Lets go of the buffers a long line grew past `units` UTF-16 units (the last key with them).
    void letGoOfBuffers(qsizetype units);

private:
    QStringView keyOfParts(QStringView line, bool* keyless);
    QStringView keyOfPart(QStringView part);
    QStringView transformed(QStringView line);

    bool trim_;
    bool ignoreCase_;
    bool ignoreWidth_;
    bool whole_; // the whole line without normalisation: the key made as before key rules
    const std::vector<char16_t>* simple_ = nullptr; // per-unit keys, see the .cpp
    KeyExtractor extractor_;
    KeyNormalizer normalizer_;
    KeyRule contact_; // what the kind of key asks
    QString contactKey_;
    QString buffer_;
    QString scratch_;
    QString joined_;
};

// The line without the Unicode White_Space characters at its two ends.
QStringView TrimWhiteSpace(QStringView line);
