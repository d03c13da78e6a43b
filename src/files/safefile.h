#pragma once

#include <QFile>
#include <QString>

#include <memory>

class QIODevice;

// Chinese reason for a system error number, never the raw system text.
QString ReasonForErrno(int errnum);
// Chinese reason for the last error of a Qt file (maps the system error it carries).
QString ReasonFor(const QFileDevice& file);

// Opens `file` (its name set) for reading only when it is a regular file; never blocks on a
// FIFO. On failure returns false and sets *reason (Chinese, without the path).
bool OpenForReading(QFile& file, QString* reason);

// The piece in which content is gathered before it is written, and in which an old file's content
// is copied aside and back.
constexpr qint64 kCopyChunkBytes = qint64(1024) * 1024;

// Writes a file so that either the whole new content is in place afterwards, or the old file is
// untouched, keeping the identity of a file it replaces.
//
// A symbolic link is followed and the file it names is written; the link stays a link. A file
// whose permission bits grant no write at all is refused as read-only, as is anything but a
// regular file. The new content normally goes to a temporary file beside the target, which is
// given the old file's owner, group, extended attributes and mode, synced to disk and renamed over
// the target. Where that would change what the path is to others (the file has other hard links,
// or this process may not give the temporary file the old owner, group or mode) the file is
// written in place instead: first its old content is copied beside it and synced, and that copy
// is removed after the new content is synced, or written back when anything fails. A crash at
// any moment thus leaves one complete version: the old file, the new one, or the copy beside it
// (named "<name>.backup-XXXXXX"). Where the folder lets neither file be made, nothing is written.
class SafeSaveFile {
public:
    explicit SafeSaveFile(const QString& path);
    ~SafeSaveFile(); // cancels when not committed
    SafeSaveFile(const SafeSaveFile&) = delete;
    SafeSaveFile& operator=(const SafeSaveFile&) = delete;

    bool open();           // false with error() set
    QIODevice* device();   // write the content here
    bool commit();         // false with error() set; the old file then stays as it was
    void cancel();         // removes every temporary file
    QString error() const; // Chinese, naming the file and the reason

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
