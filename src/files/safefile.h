#pragma once

#include <QFile>
#include <QString>

#include <memory>

class QSaveFile;

// Chinese reason for a system error number, never the raw system text.
QString ReasonForErrno(int errnum);
// Chinese reason for the last error of a Qt file (maps the system error it carries).
QString ReasonFor(const QFileDevice& file);
// Opens `file` (its name set) for reading only when it is a regular file; never blocks on a
// FIFO. On failure returns false and sets *reason (Chinese, without the path).
bool OpenForReading(QFile& file, QString* reason);

// Writes a file so that either the whole new content is in place afterwards, or the old file is
// untouched, keeping the identity of a file it replaces.
class SafeSaveFile {
public:
    explicit SafeSaveFile(const QString& path);
    ~SafeSaveFile();
    bool open();
    QIODevice* device();
    bool commit();
    void cancel();
    QString error() const;

private:
    QString path_;
    std::unique_ptr<QSaveFile> file_;
    QString error_;
};
