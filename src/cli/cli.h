#pragma once

#include <QStringList>

class QIODevice;

// What the command line finds around it when it starts.
struct CommandLineEnvironment {
    int wakeHandle = -1;           // readable once a signal asks the program to stop
    bool inputClosed = false;      // standard input was closed when the program started
    bool outputClosed = false;     // standard output was closed
    int inputHandle = -1;          // standard input's handle, to tell what it is; -1: none
    int outputHandle = -1;         // the handle behind `output`, to tell what it is; -1: none
    bool errorsOnTerminal = false; // standard error is a terminal: progress may be drawn there
};

// Runs the command-line program: arguments as given after the program's name; the result goes to
// `output` unless -o names a file; messages and statistics go to `errors`. Returns the exit
// status: 0 on success, 1 when an input or the output fails, 2 for a usage error.
int RunCommandLine(const QStringList& arguments, QIODevice& output, QIODevice& errors,
                   const CommandLineEnvironment& environment = {});

// Asks a running RunCommandLine to stop (from a signal handler): nothing more is written, and a
// file target is left as it was. Asked before the run begins (a signal while the program starts),
// the run stops as soon as it begins.
void InterruptCommandLine();
