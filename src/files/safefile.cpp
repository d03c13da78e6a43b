#include "files/safefile.h"

#include "core/shown.h"
#include "files/safefile_p.h"
#include "files/savenames.h"

#include <QFileInfo>

#include <cerrno>
#include <optional>

QString SaveFailure(const QString& path, const QString& reason) {
    return QStringLiteral("无法保存到：\n%1\n\n原因：%2").arg(ShownPath(path), reason);
}

int CreateSibling(const QString& target, const QString& tag, bool hidden, bool ownerOnly,
                  QString* created, int* errnum) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        *created = SiblingName(target, tag, hidden);
        const int fd = CreateNewFile(*created, ownerOnly, errnum);
        if (fd >= 0 || *errnum != EEXIST)
            return fd;
    }
    return -1;
}

QString FolderRefuses(int errnum, const QString& folder) {
    if (errnum == ENOSPC)
        return NoSpaceReason(folder);
    if (errnum != EACCES && errnum != EPERM)
        return ReasonForErrno(errnum);
    return QStringLiteral(
               "无法在文件所在的文件夹中新建文件：%1为了在出错时不损坏原文件，保存时要先在"
               "同一文件夹中写一个临时文件或原内容的备份。")
        .arg(ReasonForErrno(errnum));
}

void SafeSaveFile::Impl::closeOld() {
    if (oldHandle >= 0)
        CloseHandle(oldHandle);
    oldHandle = -1;
}

// Lets go of the new content: a nameless file vanishes as it is closed, a named one is removed.
void SafeSaveFile::Impl::dropContent() {
    writer.reset();
    content.close();
    if (!temporary.isEmpty())
        QFile::remove(temporary);
    temporary.clear();
}

void SafeSaveFile::Impl::startWriting() {
    // Only the content that is renamed into place is synced as it is: the in-place way's is
    // copied into the old file at the commit, and never needs to reach the disk itself.
    writer.emplace(
        content,
        [this](int errnum, const QString& reason) {
            writeErrno = errnum;
            writeReason = reason;
        },
        way == Way::Replace);
    writer->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

// Gives up, puts everything back, then says why: a full disk is described by what is free once
// the partial files are gone.
bool SafeSaveFile::Impl::failAndCancel(int errnum, const QString& reason, const QString& what) {
    const QString kept = backupPath;
    QString restoreReason;
    bool restored = true;
    if (way == Way::InPlace && touched)
        restored = restoreOldContent(&restoreReason);
    out.close();
    if (backup.isOpen() && restored) {
        backup.close();
        QFile::remove(backupPath);
        backupPath.clear();
    }
    dropContent();
    closeOld();
    way = Way::Closed;
    QString why = what + reasonFor(errnum, reason);
    if (!restored)
        why += QStringLiteral("\n\n原内容无法写回（%1）。原内容完整地保存在：\n%2")
                   .arg(restoreReason, ShownPath(kept));
    return fail(why);
}

bool SafeSaveFile::Impl::openOldFile() {
    int errnum = 0;
    oldHandle = OpenExisting(target, true, &errnum);
    if (oldHandle < 0)
        return fail(ReasonForErrno(errnum));
    old = StatusOfHandle(oldHandle, &errnum);
    if (old.kind != FileKind::Regular) {
        closeOld();
        return fail(old.kind == FileKind::Missing ? ReasonForErrno(errnum)
                                                  : QStringLiteral("文件在保存时被换掉了。"));
    }
    return true;
}

SafeSaveFile::Impl::Outcome SafeSaveFile::Impl::startReplace() {
    const bool replacing = old.kind != FileKind::Missing;
    int errnum = 0;
    // Nameless while it is written, so that nothing is left beside the target whatever happens
    // to the program; where the system cannot name such a file later, a hidden name at once.
    bool nameable = false;
    int fd = CreateNamelessFile(folder, replacing, &nameable, &errnum);
    if (fd >= 0 && !nameable) {
        CloseHandle(fd);
        fd = CreateSibling(target, QStringLiteral("saving"), true, replacing, &temporary, &errnum);
    }
    if (fd < 0) {
        temporary.clear();
        fail(FolderRefuses(errnum, folder));
        return Outcome::Failed;
    }
    if ((replacing && !CopyIdentity(oldHandle, old, fd, &errnum)) ||
        !content.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                      QFileDevice::AutoCloseHandle)) {
        if (!content.isOpen())
            CloseHandle(fd);
        dropContent();
        return Outcome::KeepsNoIdentity;
    }
    way = Way::Replace;
    startWriting();
    return Outcome::Started;
}

bool SafeSaveFile::Impl::startInPlace() {
    int errnum = 0;
    bool nameable = false;
    const int fd = CreateNamelessFile(folder, true, &nameable, &errnum);
    if (fd < 0) {
        closeOld();
        return fail(FolderRefuses(errnum, folder));
    }
    if (!content.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                      QFileDevice::AutoCloseHandle)) {
        CloseHandle(fd);
        closeOld();
        return fail(ReasonFor(content));
    }
    way = Way::InPlace;
    touched = false;
    startWriting();
    return true;
}

// Gives a nameless content file a hidden name beside the target, for the rename.
bool SafeSaveFile::Impl::nameContent(int* errnum) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString name = SiblingName(target, QStringLiteral("saving"), true);
        if (NameFile(content.handle(), name, errnum)) {
            temporary = name;
            return true;
        }
        if (*errnum != EEXIST)
            return false;
    }
    return false;
}

bool SafeSaveFile::Impl::commitReplace() {
    int errnum = 0;
    if (old.kind != FileKind::Missing && !CopyIdentity(oldHandle, old, content.handle(), &errnum))
        return failAndCancel(
            errnum,
            QStringLiteral("无法让新文件保持原文件的所有者和权限：%1").arg(ReasonForErrno(errnum)));
    if (!SyncHandle(content.handle(), &errnum))
        return failAndCancel(errnum, ReasonForErrno(errnum));
    if (temporary.isEmpty() && !nameContent(&errnum))
        return failAndCancel(errnum, FolderRefuses(errnum, folder));
    content.close();
    if (!ReplaceName(temporary, target, &errnum))
        return failAndCancel(errnum, ReasonForErrno(errnum));
    temporary.clear();
    SyncFolder(folder);
    closeOld();
    return true;
}

SafeSaveFile::SafeSaveFile(const QString& path) : d(new Impl) {
    d->path = path;
}

SafeSaveFile::~SafeSaveFile() {
    cancel();
}

bool SafeSaveFile::open() {
    cancel();
    d->error.clear();
    d->writeErrno = 0;
    d->writeReason.clear();
    d->old = FileStatus();
    if (d->path.isEmpty())
        return d->fail(QStringLiteral("没有指定文件名。"));
    auto refuseKind = [this](FileKind kind) {
        if (kind == FileKind::Directory)
            return d->fail(QStringLiteral("这是一个文件夹，不是文件。"));
        return d->fail(
            QStringLiteral("这是一个%1，不是普通文件，不能保存到这里。").arg(FileKindName(kind)));
    };
    int errnum = 0;
    // What the path reaches, before its links are followed one by one: a link the system makes
    // up (/dev/stdout, /proc/self/fd/1 on a pipe) leads to no name a file could take.
    if (const FileStatus reached = StatusOfPath(d->path, true, &errnum);
        reached.kind != FileKind::Missing && reached.kind != FileKind::Regular)
        return refuseKind(reached.kind);
    const std::optional<SavePlace> place = PlaceOfSave(d->path);
    if (!place)
        return d->fail(ReasonForErrno(ELOOP));
    d->target = place->path;
    d->folder = QFileInfo(d->target).absolutePath();
    const FileStatus named = StatusOfPath(d->target, false, &errnum);
    if (named.kind == FileKind::Missing) {
        if (errnum != ENOENT)
            return d->fail(ReasonForErrno(errnum));
        if (!QFileInfo(d->folder).isDir())
            return d->fail(QStringLiteral("所在的文件夹不存在。"));
        switch (d->startReplace()) {
        case Impl::Outcome::Started:
            return true;
        case Impl::Outcome::KeepsNoIdentity:
            return d->fail(QStringLiteral("无法新建文件。"));
        case Impl::Outcome::Failed:
            break;
        }
        return false;
    }
    if (named.kind != FileKind::Regular)
        return refuseKind(named.kind);
    if ((named.mode & 0222) == 0)
        return d->fail(QStringLiteral("文件是只读的。"));
    if (!d->openOldFile())
        return false;
    if (d->old.links == 1) {
        const Impl::Outcome outcome = d->startReplace();
        if (outcome == Impl::Outcome::Started)
            return true;
        if (outcome == Impl::Outcome::Failed) {
            d->closeOld();
            return false;
        }
    }
    return d->startInPlace();
}

QIODevice* SafeSaveFile::device() {
    return d->writer ? &*d->writer : nullptr;
}

bool SafeSaveFile::commit() {
    if (d->way == Impl::Way::Closed)
        return d->error.isEmpty() ? d->fail(QStringLiteral("文件没有打开。")) : false;
    if (!d->writer->finish())
        return d->failAndCancel(d->writer->errnum(), d->writer->reason());
    d->writer.reset();
    const bool ok = d->way == Impl::Way::Replace ? d->commitReplace() : d->commitInPlace();
    d->way = Impl::Way::Closed;
    return ok;
}

void SafeSaveFile::cancel() {
    if (d->way == Impl::Way::Closed)
        return;
    // Nothing has been written into the old file before the commit: the new content goes.
    d->dropContent();
    d->closeOld();
    d->way = Impl::Way::Closed;
}

QString SafeSaveFile::error() const {
    if (d->error.isEmpty() && !d->writeReason.isEmpty())
        return SaveFailure(d->path, d->reasonFor(d->writeErrno, d->writeReason));
    return d->error;
}
