#pragma once

// Asks the C library to take every large block straight from the system, so that a block that
// grows is moved by remapping its pages instead of copying it. Qt's text document grows its
// tables a step at a time, and copying them at a million lines held up the event loop at each
// step. Does nothing where the C library has no such setting.
void MapLargeAllocations();
