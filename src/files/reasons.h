#pragma once

#include <QFileDevice>
#include <QString>

// Why a file operation failed, in Chinese, never in the system's own words.

// The reason for a system error number.
QString ReasonForErrno(int errnum);
// The system error number behind the last error of a Qt file; 0 when it carries none.
int ErrnoFor(const QFileDevice& file);
// The reason for the last error of a Qt file (the system error it carries, else its kind).
QString ReasonFor(const QFileDevice& file);
// Why a file could grow no further: the largest file this program may write (ulimit -f), or else
// the largest the disk takes. What a write fails with in place of a full disk.
QString FileTooLargeReason();
// Why a disk is full, with the room that is left on it now.
QString NoSpaceReason(const QString& folder);
