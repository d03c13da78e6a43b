#pragma once

#include "core/outcome.h"
#include "files/textcodec.h"

#include <QString>

#include <functional>

// The largest file the program imports by default. A box holds several hundred bytes per line,
// so a larger file would not fit in the memory of an ordinary desktop.
constexpr qint64 kMiB = qint64(1024) * 1024;
constexpr qint64 kMaxImportBytes = 256 * kMiB;
// The piece in which a file is read, between two reports of progress.
constexpr qint64 kImportChunkBytes = kMiB;

// Told how many bytes are read of how many the file reported (0 when it reports no size, as
// files made up by the system do; a file that grows may pass its total). Returns false to stop.
// Called on the thread that reads.
using ReadProgress = std::function<bool(qint64 done, qint64 total)>;

struct ImportResult {
    Outcome outcome; // cancelled by the progress callback; a failure names the file
    DecodedText decoded;
};

// Reads a whole regular file of at most maxBytes and decodes it once. Anything else (a FIFO, a
// device, a socket) is refused without waiting. Safe to call from any thread.
ImportResult ImportTextFile(const QString& path, qint64 maxBytes = kMaxImportBytes,
                            const ReadProgress& progress = {});

struct SaveResult {
    Outcome outcome; // a failure names the file
    TextEncoding written = TextEncoding::Gbk;
};

// Encodes the text, each CR LF written as `lineBreak`, and writes it through SafeSaveFile: either
// the whole new file is in place afterwards, or a file that was there before is untouched and
// keeps its identity (hard links, owner, group, mode). A file marked read-only is never
// replaced. With `exact` the text is written in `encoding` or not at all: GBK is not widened to
// GB18030, and bytes no encoding read are refused for UTF-16 (they would not stay whole units).
// Safe to call from any thread.
SaveResult SaveTextFile(const QString& path, QStringView text, TextEncoding encoding,
                        LineBreak lineBreak = LineBreak::CrLf, bool exact = false);
