#pragma once

#include "engine/engine.h"
#include "engine/window/largefile.h"
#include "files/textcodec.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The choice an import makes between reading files whole into memory (into the window's input
// box) and opening them in the large-file mode, where the work is done on the files themselves.

// Above either bound files are opened in the large-file mode.
struct LargeFileBounds {
    qint64 bytes = 0; // the files' size together
    qint64 lines = 0; // their lines, once read
};

// Files read by ReadFiles: their text, or the large file they make; neither on a cancel or a
// failure.
struct ImportedFiles {
    Outcome outcome; // a failure names the file
    // The files' text, read whole, with every line break made CR LF.
    std::optional<QString> text;
    TextEncoding encoding = TextEncoding::Gbk; // the first file's
    LineBreak lineBreak = LineBreak::CrLf;     // the first file's most common
    qsizetype unreadable = 0;                  // undecodable bytes carried in the text
    QString unreadableIn;                      // the first file holding some
    std::shared_ptr<const LargeFile> large;
};

// Reads files, or several as one text in their order, with a line break put between two files
// where the first does not end in one. Files larger than bounds.bytes together are only counted
// and their beginning read; smaller ones are read whole, and opened as a large file after all
// when they have more lines than bounds.lines. Of several files, the first one's encoding and
// line break are the text's. Safe to call from any thread; `progress` is required.
ImportedFiles ReadFiles(const QStringList& paths, const LargeFileBounds& bounds,
                        const EngineProgress& progress);
