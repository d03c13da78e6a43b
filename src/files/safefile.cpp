#include "files/safefile.h"

#include "files/filecopy.h"
#include "files/posixfile.h"
#include "files/reasons.h"
#include "files/writewhole.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <functional>
#include <optional>

namespace {

// How many symbolic links a path may pass through, as the system allows.
constexpr int kMaxLinkHops = 40;
// The longest name, in bytes, kept from a file's name in the names of the files beside it.
constexpr qsizetype kMaxSiblingStem = 200;

QString SaveFailure(const QString& path, const QString& reason) {
    return QStringLiteral("无法保存到：\n%1\n\n原因：%2")
        .arg(QDir::toNativeSeparators(path), reason);
}

// A name beside `target`: "<name>.<tag>-XXXXXX" with six random letters, hidden when asked.
QString SiblingName(const QString& target, const QString& tag, bool hidden) {
    const QFileInfo info(target);
    QString stem = info.fileName();
    while (QFile::encodeName(stem).size() > kMaxSiblingStem)
        stem.chop(stem.size() >= 2 && stem.back().isLowSurrogate() ? 2 : 1);
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(36)]);
    return info.absolutePath() + u'/' + (hidden ? QStringLiteral(".") : QString()) + stem + u'.' +
           tag + u'-' + suffix;
}

// How many names are tried before a folder is taken to refuse new ones.
constexpr int kNameAttempts = 100;

// Creates a file beside `target` under a name no file has yet (see SiblingName). Returns the
// open handle, or -1 with *errnum set.
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

// The file a save writes: the path with every symbolic link in its last place followed.
std::optional<QString> FollowLinks(const QString& path) {
    QString current = QFileInfo(path).absoluteFilePath();
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        const QFileInfo info(current);
        if (!info.isSymbolicLink())
            return current;
        current = info.symLinkTarget();
    }
    return std::nullopt;
}

// Why no file could be made beside the target. Where the folder forbids it, the reason it is
// needed is said too.
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

} // namespace

struct SafeSaveFile::Impl {
    enum class Way { Closed, Replace, InPlace };

    QString path;   // as asked, for messages
    QString target; // the file written: links followed
    QString folder;
    Way way = Way::Closed;
    FileStatus old; // kind Missing when there is no old file
    int oldHandle = -1;
    // The new content, gathered beside the target until the commit. Replace: the file that takes
    // the target's name then (nameless until that moment where the system allows). InPlace: a
    // nameless file whose content is copied into the old file.
    QFile content;
    QString temporary; // the content file's name, once it has one
    QFile out;         // InPlace, during the commit: the old file itself
    QFile backup;      // InPlace, during the commit: the old content
    QString backupPath;
    bool touched = false; // InPlace: the old file's content has begun to change
    std::optional<GuardedWriter> writer;
    QByteArray buffer;
    QString error;
    // The first write that failed, told as soon as it is asked for: a full disk is described by
    // what is free at that moment (after a cancel, once the new content is gone).
    int writeErrno = 0;
    QString writeReason;

    bool fail(const QString& reason) {
        error = SaveFailure(path, reason);
        return false;
    }
    QString reasonFor(int errnum, const QString& reason) const {
        return errnum == ENOSPC ? NoSpaceReason(folder) : reason;
    }
    // `what` says which step failed, before the reason.
    bool failAndCancel(int errnum, const QString& reason, const QString& what = {});
    bool openOldFile();
    enum class Outcome { Started, KeepsNoIdentity, Failed };
    Outcome startReplace();
    bool startInPlace();
    bool nameContent(int* errnum);
    bool commitReplace();
    bool commitInPlace();
    void startWriting();
    void closeOld();
    void dropContent();
    bool restoreOldContent(QString* reason);
};

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
                   .arg(restoreReason, QDir::toNativeSeparators(kept));
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

// The old file keeps its identity: its content is copied aside and synced, then the new content
// is copied into it. Nothing is written into it before this moment, so a save whose content is
// made from the file itself reads the old content to its end first.
bool SafeSaveFile::Impl::commitInPlace() {
    int errnum = 0;
    const int fd =
        CreateSibling(target, QStringLiteral("backup"), false, true, &backupPath, &errnum);
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
    const std::optional<QString> target = FollowLinks(d->path);
    if (!target)
        return d->fail(ReasonForErrno(ELOOP));
    d->target = *target;
    d->folder = QFileInfo(d->target).absolutePath();
    int errnum = 0;
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
    if (named.kind == FileKind::Directory)
        return d->fail(QStringLiteral("这是一个文件夹，不是文件。"));
    if (named.kind != FileKind::Regular)
        return d->fail(QStringLiteral("这是一个%1，不是普通文件，不能保存到这里。")
                           .arg(FileKindName(named.kind)));
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
