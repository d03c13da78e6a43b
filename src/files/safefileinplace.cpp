// The save in place: the old file keeps its identity, its old content copied beside it first.
#include "files/safefile_p.h"

#include "files/savenames.h"

#include <cerrno>

bool SafeSaveFile::Impl::restoreOldContent(QString* reason) {
    int errnum = CopyContent(backup, out, buffer, reason);
    if (errnum == 0) {
        int statusErrno = 0;
        const FileStatus now = StatusOfHandle(out.handle(), &statusErrno);
        if (now.mode != old.mode)
            SetMode(out.handle(), old.mode, &statusErrno);
        if (!SyncHandle(out.handle(), &errnum))
            *reason = ReasonForErrno(errnum);
    }
    out.close();
    backup.close();
    if (errnum != 0)
        return false; // the copy stays, for the user
    QFile::remove(backupPath);
    backupPath.clear();
    SyncFolder(folder);
    return true;
}

// The old file keeps its identity: its content is copied aside and synced, then the new content
// is copied into it. Nothing is written into it before this moment, so a save whose content is
// made from the file itself reads the old content to its end first.
bool SafeSaveFile::Impl::commitInPlace() {
    int errnum = 0;
    const int fd = CreateSibling(target, kBackupTag, false, true, &backupPath, &errnum);
    const QString backupFailed = QStringLiteral(
        "这个文件有其他硬链接，或本程序无法让新文件保持它的所有者和权限，只能在原处改写；"
        "改写前要先在它旁边存好一份完整的原内容，但无法保存这份备份：");
    if (fd < 0) {
        backupPath.clear();
        return failAndCancel(errnum, FolderRefuses(errnum, folder), backupFailed);
    }
    const bool opened = backup.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                                    QFileDevice::AutoCloseHandle) &&
                        out.open(oldHandle, QIODevice::ReadWrite | QIODevice::Unbuffered,
                                 QFileDevice::AutoCloseHandle);
    if (!backup.isOpen())
        CloseHandle(fd);
    if (out.isOpen())
        oldHandle = -1;
    QString reason;
    int copyErrno = opened ? CopyContent(out, backup, buffer, &reason) : -1;
    if (opened && copyErrno == 0 && !SyncHandle(backup.handle(), &copyErrno))
        reason = ReasonForErrno(copyErrno);
    if (!opened || copyErrno != 0) {
        if (!opened)
            reason = ReasonFor(backup.isOpen() ? out : backup);
        return failAndCancel(copyErrno, reason, backupFailed);
    }
    SyncFolder(folder);
    touched = true;
    copyErrno = CopyContent(content, out, buffer, &reason);
    if (copyErrno != 0)
        return failAndCancel(copyErrno, reason);
    // Writing may have cleared setuid and setgid; the owner may set them again.
    const FileStatus now = StatusOfHandle(out.handle(), &errnum);
    if (now.kind != FileKind::Missing && now.mode != old.mode)
        SetMode(out.handle(), old.mode, &errnum);
    if (!SyncHandle(out.handle(), &errnum))
        return failAndCancel(errnum, ReasonForErrno(errnum));
    out.close();
    backup.close();
    QFile::remove(backupPath);
    backupPath.clear();
    dropContent();
    SyncFolder(folder);
    return true;
}
