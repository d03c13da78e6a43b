#pragma once

#include <QStringList>

class QIODevice;

// Runs the command-line program: arguments as given after the program's name; the result goes to
// `output` unless -o names a file; messages and statistics go to `errors`. Returns the exit
// status: 0 on success, 1 when an input or the output fails, 2 for a usage error.
int RunCommandLine(const QStringList& arguments, QIODevice& output, QIODevice& errors);

// Asks a running RunCommandLine to stop (from a signal handler): nothing is written.
void InterruptCommandLine();
