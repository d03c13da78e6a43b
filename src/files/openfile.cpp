#include "files/openfile.h"

#include "files/reasons.h"

QString FileKindName(FileKind kind) {
    switch (kind) {
    case FileKind::Fifo:
        return QStringLiteral("命名管道（FIFO）");
    case FileKind::CharDevice:
        return QStringLiteral("字符设备");
    case FileKind::BlockDevice:
        return QStringLiteral("块设备（磁盘）");
    case FileKind::Socket:
        return QStringLiteral("套接字");
    default:
        return QStringLiteral("特殊文件");
    }
}

bool OpenForReading(QFile& file, QString* reason, FileStatus* status) {
    const QString path = file.fileName();
    if (path.isEmpty()) {
        *reason = QStringLiteral("没有指定文件名。");
        return false;
    }
    auto notRegular = [reason](FileKind kind) {
        if (kind == FileKind::Regular)
            return false;
        *reason = kind == FileKind::Directory
                      ? QStringLiteral("这是一个文件夹，不是文件。")
                      : QStringLiteral("这是一个%1，不是普通文件。本程序只导入普通文件。")
                            .arg(FileKindName(kind));
        return true;
    };
    // The kind is checked before opening, so that nothing is opened that could wait or change
    // state, and again on the handle, for a file swapped in between.
    int errnum = 0;
    const FileStatus named = StatusOfPath(path, true, &errnum);
    if (named.kind == FileKind::Missing) {
        *reason = ReasonForErrno(errnum);
        return false;
    }
    if (notRegular(named.kind))
        return false;
    const int fd = OpenExisting(path, false, &errnum);
    if (fd < 0) {
        *reason = ReasonForErrno(errnum);
        return false;
    }
    const FileStatus opened = StatusOfHandle(fd, &errnum);
    if (opened.kind == FileKind::Missing || notRegular(opened.kind)) {
        if (opened.kind == FileKind::Missing)
            *reason = ReasonForErrno(errnum);
        CloseHandle(fd);
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *reason = ReasonFor(file);
        CloseHandle(fd);
        return false;
    }
    if (status)
        *status = opened;
    return true;
}
