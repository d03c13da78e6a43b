#pragma once

// The few calls of the command-line program that differ between systems: signals that ask it to
// stop or that it ignores, the standard handles, and whether one is a terminal.

// Makes SIGINT, SIGTERM and SIGHUP call `onStop` (inside the signal handler: it may only set a
// flag) and wake every wait on the returned handle for good. The signals interrupt a wait for a
// writer or for input rather than letting it go on. -1 where the system has no such handle.
int InstallStopSignals(void (*onStop)());

// The standard handles that were closed when the program started. Each is given a handle on the
// null device, so that no file opened later takes its number and is taken for it.
struct ClosedHandles {
    bool input = false;
    bool output = false;
    bool errors = false;
};
ClosedHandles ReopenClosedStandardHandles();

// True when the handle is a terminal.
bool IsTerminal(int handle);
