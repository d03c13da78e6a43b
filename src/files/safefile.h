#pragma once

#include "files/filecopy.h"
#include "files/openfile.h"
#include "files/posixfile.h"
#include "files/reasons.h"

#include <QFile>
#include <QString>

#include <memory>

class QIODevice;

// Writes a file so that either the whole new content is in place afterwards, or the old file is
// untouched, keeping the identity of a file it replaces.
//
// A symbolic link is followed and the file it names is written; the link stays a link. A file
// whose permission bits grant no write at all is refused as read-only, as is anything but a
// regular file. Whatever the way, nothing is written into the old file before commit(): a content
// made from the file itself (a filter with its output onto its input) reads the old content to
// its end first, and a save given up at any moment leaves the old file as it was.
//
// The new content goes to a file beside the target that has no name while it is written (so that
// nothing is left behind, even when the program is killed). Normally that file is given the old
// file's owner, group, extended attributes and mode, synced to disk, named
// ".<name>.saving-XXXXXX" and renamed over the target. Where that would change what the path is
// to others (the file has other hard links, or this process may not give the new file the old
// owner, group or mode) the old file is written in place at the commit: first its old content is
// copied beside it and synced, then the new content is copied in, and the copy is removed after
// the new content is synced, or written back when anything fails. A crash at any moment thus
// leaves one complete version: the old file, the new one, or the copy beside it (named
// "<name>.backup-XXXXXX"). Where the folder lets no file be made, nothing is written.
class SafeSaveFile {
public:
    explicit SafeSaveFile(const QString& path);
    ~SafeSaveFile(); // cancels when not committed
    SafeSaveFile(const SafeSaveFile&) = delete;
    SafeSaveFile& operator=(const SafeSaveFile&) = delete;

    bool open();           // false with error() set
    QIODevice* device();   // write the content here; once a write fails, error() says why
    bool commit();         // false with error() set; the old file then stays as it was
    void cancel();         // removes every temporary file
    QString error() const; // Chinese, naming the file and the reason

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
