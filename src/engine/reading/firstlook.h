#pragma once

// The first look at the inputs before they are filtered: how many lines they hold at most, which
// chooses the way and sizes the tables, and which line break they use most, which the result is
// written with before its first line.

#include "engine/reading/segment.h"

struct FirstLook {
    LineBreakCounts breaks; // of the inputs; the compared lists' breaks do not count
    qint64 lines = 0;       // of the inputs, at most
    qint64 listLines = 0;   // of the compared lists, at most
    int filesCut = 0;       // files looked at in pieces
};

// A file read through a buffer from this size on is looked at in pieces, one on each worker:
// reading a large file is mostly the system copying its bytes, which the threads share (where a
// file is read at an offset; elsewhere the reads take turns).
constexpr qint64 kLookInPiecesFrom = qint64(4) << 20;

// Looks at every line break of the inputs and lists. A file that shrank while it was read sets
// inputs.readFailed.
// `threads` is how many workers share the look.
FirstLook LookAtLines(const SegmentList& inputs, int threads);
