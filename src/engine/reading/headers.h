#pragma once

// The header lines of the inputs and the compared lists (KeyRule::header): taken out of what the
// engine compares before the work starts.

#include "engine/reading/segment.h"

#include <QByteArray>

#include <vector>

struct Headers {
    // The header that is written first: the first line of the first input that has a line, its
    // bytes copied (in `segment`'s encoding) so that it outlives the inputs' pages.
    bool found = false;
    QByteArray bytes;
    Segment segment; // how to read `bytes`: its encoding and units
    // The inputs (by number from 0) whose first line differs from the header: it stays one of
    // their lines, compared as every other.
    std::vector<int> different;
};

// Takes the first line of every input and list out of what is compared: each segment then starts
// after it (and its line break). An input's first line that differs from the header (as text) is
// left where it is. An input without lines has no header; a line with no break after it is taken
// whole. Marks SegmentList::headed for the inputs whose line numbers now start at 2.
Headers TakeHeaders(SegmentList& inputs);
