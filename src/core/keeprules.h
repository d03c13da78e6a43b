#pragma once

#include "core/filteroptions.h"

// Which lines stay: the one statement of the rule, which every way of working applies.

// Whether the lines of a key that is not blank keep a copy, given whether the key occurs more than
// once.
inline bool KeepsKey(KeepMode keep, bool repeated) {
    switch (keep) {
    case KeepMode::Unique:
        return !repeated;
    case KeepMode::Repeated:
        return repeated;
    case KeepMode::First:
    case KeepMode::Last:
        break;
    }
    return true;
}

// Whether the copy that stays is the key's last line (else its first).
inline bool KeepsLastCopy(KeepMode keep) {
    return keep == KeepMode::Last;
}

// Blank lines (an empty key) never take part in the comparison: with keepBlank every one stays,
// otherwise only the text's first line, even when it is blank.
inline bool KeepsBlankLine(const FilterOptions& options, qint64 lineIndex) {
    return options.keepBlank || lineIndex == 0;
}

// How often a kept blank line is said to occur: each once with keepBlank, otherwise the first line
// stands for them all.
inline qint64 BlankLineCount(const FilterOptions& options, qint64 blankLines) {
    return options.keepBlank ? 1 : blankLines;
}
