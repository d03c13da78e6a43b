#pragma once

#include "files/textcodec.h"

#include <QString>

// The largest file the program imports. A box holds several hundred bytes per line, so a larger
// file would not fit in the memory of an ordinary desktop.
constexpr qint64 kMiB = qint64(1024) * 1024;
constexpr qint64 kMaxImportBytes = 256 * kMiB;

struct ImportResult {
    bool ok = false;
    DecodedText decoded;
    QString error; // when !ok: what went wrong, in Chinese, naming the file
};

// Reads a whole file and decodes it once.
ImportResult ImportTextFile(const QString& path);

struct SaveResult {
    bool ok = false;
    TextEncoding written = TextEncoding::Gbk;
    QString error; // when !ok: what went wrong, in Chinese, naming the file
};

// Encodes the text and writes it atomically: either the whole new file is in place afterwards, or
// a file that was there before is untouched. A file marked read-only is never replaced.
SaveResult SaveTextFile(const QString& path, QStringView text, TextEncoding encoding);
