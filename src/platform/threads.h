#pragma once

// Lowers the priority of the calling thread (and of the threads it starts from now on) below
// that of the window's thread, so that work in the background never takes the processor from
// the window on a machine with few cores.
void LowerCurrentThreadPriority();
