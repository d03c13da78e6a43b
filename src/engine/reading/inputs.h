#pragma once

// Folder engine/reading: how the engine reads. The inputs and lists opened, mapped or spooled
// (inputs), lines split and their breaks scanned (linescan), the first look at every line break
// before the work (firstlook), the line reader that gives each line's hash and key (linereader),
// and lines longer than memory should hold, looked at in steps (longline).

// The engine's inputs: files opened and read or mapped, streams copied into temporary files, and
// the check at the end that every file is still what was read.

#include "engine/reading/segment.h"
#include "engine/systemfiles.h"
#include "files/posixfile.h"

#include <deque>
#include <memory>
#include <vector>

// The files being filtered, open and in memory for as long as the work lasts.
struct OpenInputs {
    struct File {
        QString path;                  // as given; "-" for standard input
        std::unique_ptr<QFile> file;   // what is read: the file, or the copy of a stream
        std::unique_ptr<QFile> source; // a file read to its end into a copy, still watched
        std::unique_ptr<GuardedMapping> mapping;
        // What the file was when it was opened; kind Missing for a stream or a file made up by the
        // system, which are copied aside and then never change.
        FileStatus opened;
    };
    std::vector<File> files;
    std::deque<QByteArray> buffers; // the files read whole
    SegmentList list;
    bool firstHadMark = false;
    QStringList names; // the inputs' names, as given (not the lists')
};

// Opens one more input and appends it to `inputs`. A file is read whole when small, mapped when
// large; a stream (standard input, a FIFO) and a file whose size the system makes up (/proc,
// /sys) are read to their end into a temporary file first. A failure names the input and the
// reason.
Outcome OpenInput(const QString& path, const EngineSettings& settings, OpenInputs& inputs);

// Opens the compared lists of the settings after the inputs: a file as an input is opened, a text
// as it is held. Each list's segment carries its number.
Outcome OpenLists(const EngineSettings& settings, OpenInputs& inputs);

// The segment of a text held in memory as a box holds it (UTF-16 in the machine's byte order).
Segment TextSegment(QStringView text, const EngineSettings& settings, qint64 base);

// Says which input changed while it was read (its size or time of change differ from when it was
// opened, the path names another file now, or a mapped page could not be read) and how; empty
// when none did.
QString ChangedInput(const OpenInputs& inputs);

// The message for an input that cannot be read: its name and the reason.
QString InputFailure(const QString& path, const QString& reason);

// A stream is copied aside only while the disk keeps at least this much room free, or half of
// what was free when the copy began, whichever is less.
constexpr qint64 kSpoolMargin = qint64(1) << 30;
