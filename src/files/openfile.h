#pragma once

#include "files/posixfile.h"

#include <QFile>
#include <QString>

// Opens `file` (its name set) for reading only when it is a regular file; never blocks on a
// FIFO. On failure returns false and sets *reason (Chinese, without the path). `status`, when
// given, receives what the file was when it was opened (to tell later whether it changed).
bool OpenForReading(QFile& file, QString* reason, FileStatus* status = nullptr);

// What a special file is, for messages ("命名管道（FIFO）", "字符设备"...).
QString FileKindName(FileKind kind);
