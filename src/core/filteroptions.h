#pragma once

#include <QString>
#include <QStringView>

#include <vector>

// Which copy of a repeated line stays.
enum class KeepMode {
    First,    // the first copy of every line (the default)
    Last,     // the last copy of every line, at its own place
    Unique,   // only the lines that occur once
    Repeated, // one copy of each line that occurs more than once, at its first place
};

// What counts as a repeat. The default compares lines exactly and keeps the first copy.
struct FilterOptions {
    bool ignoreCase = false;  // lines equal after Unicode full case folding are repeats
    bool trim = false;        // white space at both ends of a line does not count
    bool ignoreWidth = false; // lines equal after compatibility normalisation (NFKC) are repeats
    bool keepBlank = false;   // blank lines are never removed and never count as repeats
    KeepMode keep = KeepMode::First;

    bool operator==(const FilterOptions&) const = default;
    bool isDefault() const { return *this == FilterOptions{}; }
    // True when lines are compared by something other than their exact text.
    bool transformsLines() const { return ignoreCase || trim || ignoreWidth; }
};

// Makes the key two lines are compared by: the line without the white space at its ends (when
// trimming), then NFKC (when ignoring width), then full case folding (when ignoring case). Lines
// are repeats exactly when their keys are equal, and a line is blank exactly when its key is
// empty. Keeps buffers between calls: one per thread.
class LineKeyMaker {
public:
    explicit LineKeyMaker(const FilterOptions& options);

    // The key of `line`: a view of the line itself where nothing changes it, otherwise of a buffer
    // that stays valid until the next call.
    QStringView key(QStringView line);

private:
    QStringView transformed(QStringView line);

    bool trim_;
    bool ignoreCase_;
    bool ignoreWidth_;
    const std::vector<char16_t>* simple_ = nullptr; // per-unit keys, see the .cpp
    QString buffer_;
    QString scratch_;
};

// The line without the Unicode White_Space characters at its two ends.
QStringView TrimWhiteSpace(QStringView line);
