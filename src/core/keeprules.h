#pragma once

#include "core/filteroptions.h"

#include <bit>

// Which lines stay: the one statement of the rule, which every way of working applies.

// Whether a keep mode goes with the other options: near repeats are decided in one pass in
// order, so the first line of a group stays.
inline bool KeepModeAllowed(const FilterOptions& options, KeepMode keep) {
    return options.similar == 0 || keep == KeepMode::First;
}

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
    case KeepMode::Longest:
    case KeepMode::Shortest:
        break;
    }
    return true;
}

// Whether the copy that stays is chosen among the key's lines as they come (else it is the first).
inline bool ChoosesCopy(KeepMode keep) {
    return keep == KeepMode::Last || keep == KeepMode::Longest || keep == KeepMode::Shortest;
}

// Whether the choice needs each copy's length in characters (code points).
inline bool ChoosesByLength(KeepMode keep) {
    return keep == KeepMode::Longest || keep == KeepMode::Shortest;
}

// Whether a later copy of `chars` characters takes the place of the copy chosen so far, of
// `chosenChars`: the last copy always; the longest or shortest only when strictly longer or
// shorter, so that ties go to the first.
inline bool LaterCopyWins(KeepMode keep, quint64 chosenChars, quint64 chars) {
    switch (keep) {
    case KeepMode::Last:
        return true;
    case KeepMode::Longest:
        return chars > chosenChars;
    case KeepMode::Shortest:
        return chars < chosenChars;
    case KeepMode::First:
    case KeepMode::Unique:
    case KeepMode::Repeated:
        break;
    }
    return false;
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

// A line without a key (too few columns, no match) is never a repeat of another: it stays where a
// line that occurs once stays, except where only repeated lines are listed, or only the lines
// found in every intersecting list stay.
inline bool KeepsKeyless(KeepMode keep, bool intersecting) {
    return keep != KeepMode::Repeated && !intersecting;
}

// The compared lists are bits by their numbers. `holding`: the lists that hold a line's key.
// Whether the line may stay by the lists: in no excluding one, and in every intersecting one.
inline bool PassesLists(quint64 holding, quint64 excluding, quint64 intersecting) {
    return (holding & excluding) == 0 && (holding & intersecting) == intersecting;
}

// The number of the list that removes a line that does not pass: the first excluding list that
// holds it, else the first intersecting list that does not.
inline int RemovingList(quint64 holding, quint64 excluding, quint64 intersecting) {
    const quint64 by = (holding & excluding) != 0 ? holding & excluding : intersecting & ~holding;
    return by == 0 ? -1 : std::countr_zero(by);
}
