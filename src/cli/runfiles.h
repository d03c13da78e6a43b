#pragma once

// What the command line reads and writes, by the files the names really are: checked against each
// other before anything is read, so that no two outputs write one file, no output replaces a
// file the run reads but the result itself, and a stream is not read twice.

#include "cli/cli.h"

#include <QString>
#include <QStringList>

#include <optional>

// The files as the command line names them.
struct RunFiles {
    QStringList inputs;             // "-" for standard input
    QStringList lists;              // the compared lists, "-" for standard input
    std::optional<QString> output;  // -o; nothing: standard output
    std::optional<QString> removed; // --removed; nothing: none
};

// Where the result or the removed lines go.
struct Destination {
    enum class To { Nowhere, Output, File };
    To to = To::Nowhere; // Output: standard output (`-`, or a name of it such as /dev/stdout)
    QString path;        // File: as given
};

// What the command line does with its files, or why it does nothing.
struct FilesPlan {
    int status = 0;     // 0: go on; 1: a failure; 2: a usage error
    QString message;    // the failure or usage error
    QStringList notes;  // said before the work begins
    Destination result; // standard output or a file
    Destination removed;
};

// The rules, where names are compared by the files they are (links followed, dangling ones too,
// folders resolved, hard links):
// - "-" names standard output for -o and --removed; so does a name of the program's standard
//   output (/dev/stdout), unless it is an input's file. Only one of the two may go there.
// - -o and --removed may not write one file, nor may either be standard output's file while the
//   other goes there.
// - --removed may not name an input or a list: the removed lines would replace it, and a result
//   that then fails would leave neither. -o may name an input (the result is written over it once
//   all is read); naming a list, it is told that the list's content goes.
// - Standard output may not be a file the run reads (it would be written while it is read).
// - Standard input, and any other stream (a pipe, a FIFO, a socket), is read once: named twice,
//   among the inputs and the lists, it is refused.
// - A file read or written beside which an in-place save left its backup is told of (see
//   LeftBackupsOf), as is an output that is itself such a backup.
FilesPlan PlanFiles(const RunFiles& files, const CommandLineEnvironment& environment);
