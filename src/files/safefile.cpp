#include "files/safefile.h"

#include "files/posixfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QStorageInfo>

#include <cerrno>
#include <optional>

namespace {

constexpr qint64 kKiB = 1024;
// Enough for any error number a system defines.
constexpr int kLargestErrno = 200;
// How many symbolic links a path may pass through, as the system allows.
constexpr int kMaxLinkHops = 40;
// The longest name, in bytes, kept from a file's name in the names of the files beside it.
constexpr qsizetype kMaxSiblingStem = 200;

QString SaveFailure(const QString& path, const QString& reason) {
    return QStringLiteral("无法保存到：\n%1\n\n原因：%2")
        .arg(QDir::toNativeSeparators(path), reason);
}

// The error number behind a Qt file's error: Qt describes a system error with the system's
// text for it, which leads back to the number.
int ErrnoFor(const QFileDevice& file) {
    static const QHash<QString, int> byText = [] {
        QHash<QString, int> map;
        for (int e = kLargestErrno; e >= 1; --e)
            map.insert(qt_error_string(e), e);
        return map;
    }();
    return byText.value(file.errorString(), 0);
}

QString KindName(FileKind kind) {
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

// Why the disk is full, with what is left on it now.
QString NoSpaceReason(const QString& folder) {
    QStorageInfo storage(folder);
    storage.refresh();
    if (!storage.isValid())
        return ReasonForErrno(ENOSPC);
    return QStringLiteral("磁盘空间不足（现在只剩 %1 KB 可用）。")
        .arg(storage.bytesAvailable() / kKiB);
}

// A name beside `target` that no file has yet: "<name>.<tag>-XXXXXX", hidden when asked. Returns
// the open handle, or -1 with *errnum set.
int CreateSibling(const QString& target, const QString& tag, bool hidden, bool ownerOnly,
                  QString* created, int* errnum) {
    const QFileInfo info(target);
    QString stem = info.fileName();
    while (QFile::encodeName(stem).size() > kMaxSiblingStem)
        stem.chop(stem.size() >= 2 && stem.back().isLowSurrogate() ? 2 : 1);
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString suffix;
        for (int i = 0; i < 6; ++i)
            suffix += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(36)]);
        *created = info.absolutePath() + u'/' + (hidden ? QStringLiteral(".") : QString()) + stem +
                   u'.' + tag + u'-' + suffix;
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

// Writes all of `data`: the system may take a part at a time, and only an attempt that takes
// nothing carries the reason.
bool WriteWhole(QFile& file, const char* data, qint64 len) {
    while (len > 0) {
        const qint64 n = file.write(data, len);
        if (n <= 0)
            return false;
        data += n;
        len -= n;
    }
    return true;
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

// Copies the whole content of `from` over `to`, which ends up exactly as long. The buffer is
// reused across calls. Returns 0, or the error number of the failing side (-1 when unknown).
int CopyContent(QFile& from, QFile& to, QByteArray& buffer, QString* reason) {
    if (!from.seek(0) || !to.seek(0)) {
        *reason = ReasonFor(from.error() != QFileDevice::NoError ? from : to);
        return -1;
    }
    buffer.resize(kCopyChunkBytes);
    qint64 copied = 0;
    for (;;) {
        const qint64 got = from.read(buffer.data(), buffer.size());
        if (got < 0) {
            *reason = ReasonFor(from);
            return ErrnoFor(from);
        }
        if (got == 0)
            break;
        if (!WriteWhole(to, buffer.constData(), got)) {
            *reason = ReasonFor(to);
            return ErrnoFor(to);
        }
        copied += got;
    }
    if (!to.resize(copied)) {
        *reason = ReasonFor(to);
        return ErrnoFor(to);
    }
    return 0;
}

// Hands writes on to a file in pieces of kCopyChunkBytes and keeps the first failure, so that a
// later write can neither hide it nor follow it.
class GuardedWriter final : public QIODevice {
public:
    explicit GuardedWriter(QFile& file) : file_(file) {}
    bool isSequential() const override { return true; }

    // Writes what is gathered; false once anything has failed.
    bool finish() { return flushPiece(); }
    bool failed() const { return failed_; }
    int errnum() const { return errnum_; }
    QString reason() const { return reason_; }

protected:
    qint64 readData(char* /*data*/, qint64 /*maxlen*/) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override {
        if (failed())
            return -1;
        if (piece_.size() + len > kCopyChunkBytes && !flushPiece())
            return -1;
        if (len >= kCopyChunkBytes) {
            if (!writeOut(data, len))
                return -1;
        } else {
            piece_.append(data, len);
        }
        return len;
    }

private:
    bool flushPiece() {
        if (failed())
            return false;
        const bool ok = piece_.isEmpty() || writeOut(piece_.constData(), piece_.size());
        piece_.clear();
        return ok;
    }
    bool writeOut(const char* data, qint64 len) {
        if (WriteWhole(file_, data, len))
            return true;
        failed_ = true;
        errnum_ = ErrnoFor(file_);
        reason_ = ReasonFor(file_);
        if (reason_.isEmpty())
            reason_ = QStringLiteral("写入文件时出错。");
        return false;
    }

    QFile& file_;
    QByteArray piece_;
    bool failed_ = false;
    int errnum_ = 0;
    QString reason_;
};

} // namespace

QString ReasonForErrno(int errnum) {
    switch (errnum) {
    case EACCES:
        return QStringLiteral("没有访问权限。");
    case EPERM:
        return QStringLiteral("系统不允许这样做（权限不足）。");
    case ENOENT:
        return QStringLiteral("文件不存在，或路径中的文件夹不存在。");
    case ENOTDIR:
        return QStringLiteral("路径中有一部分不是文件夹。");
    case EISDIR:
        return QStringLiteral("这是一个文件夹，不是文件。");
    case EROFS:
        return QStringLiteral("文件所在的磁盘是只读的，不能写入。");
    case ENOSPC:
        return QStringLiteral("磁盘空间不足。");
#ifdef EDQUOT
    case EDQUOT:
        return QStringLiteral("超出了磁盘配额：您在这个磁盘上可用的空间已经用完。");
#endif
    case EFBIG:
        return QStringLiteral("文件超出了这个磁盘允许的最大大小。");
    case EIO:
        return QStringLiteral("读写磁盘时出错，磁盘或它的连接可能有问题。");
    case ENAMETOOLONG:
        return QStringLiteral("文件名或路径太长。");
    case ELOOP:
        return QStringLiteral("符号链接太多，或者链接指向了自己。");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("同时打开的文件太多，请关闭一些程序后再试。");
    case ETXTBSY:
        return QStringLiteral("文件正在作为程序运行，不能写入。");
    case EBUSY:
        return QStringLiteral("文件或设备正被占用。");
    case EEXIST:
        return QStringLiteral("文件已经存在。");
    case ENOTEMPTY:
        return QStringLiteral("文件夹不是空的。");
    case EXDEV:
        return QStringLiteral("不能在不同的磁盘之间改名。");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("设备不存在或没有连接。");
    case ENOMEM:
        return QStringLiteral("内存不足。");
    case EAGAIN:
        return QStringLiteral("文件暂时无法使用，请稍后再试。");
    case EINTR:
        return QStringLiteral("操作被中断。");
    case EINVAL:
        return QStringLiteral("系统不接受这个操作。");
    case EOPNOTSUPP:
        return QStringLiteral("文件所在的磁盘不支持这个操作。");
#ifdef ESTALE
    case ESTALE:
        return QStringLiteral("网络上的文件已经失效，可能已在另一台电脑上被删除。");
#endif
    case ETIMEDOUT:
    case ENOTCONN:
    case ECONNABORTED:
    case ECONNRESET:
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTUNREACH:
        return QStringLiteral("网络连接出了问题，无法访问文件。");
    default:
        return QStringLiteral("系统报告了错误（错误号 %1）。").arg(errnum);
    }
}

QString ReasonFor(const QFileDevice& file) {
    if (const int errnum = ErrnoFor(file))
        return ReasonForErrno(errnum);
    switch (file.error()) {
    case QFileDevice::NoError:
        return {};
    case QFileDevice::ReadError:
        return QStringLiteral("读取文件时出错。");
    case QFileDevice::WriteError:
        return QStringLiteral("写入文件时出错。");
    case QFileDevice::ResourceError:
        return QStringLiteral("磁盘空间或系统资源不足。");
    case QFileDevice::OpenError:
        return QStringLiteral("无法打开文件。");
    case QFileDevice::PermissionsError:
        return QStringLiteral("没有权限。");
    case QFileDevice::RemoveError:
        return QStringLiteral("无法删除文件。");
    case QFileDevice::RenameError:
        return QStringLiteral("无法给文件改名。");
    case QFileDevice::ResizeError:
        return QStringLiteral("无法改变文件的大小。");
    case QFileDevice::PositionError:
        return QStringLiteral("无法移到文件中的指定位置。");
    case QFileDevice::CopyError:
        return QStringLiteral("无法复制文件。");
    case QFileDevice::TimeOutError:
        return QStringLiteral("操作超时。");
    case QFileDevice::AbortError:
        return QStringLiteral("操作被中止。");
    default:
        return QStringLiteral("发生了未知的错误。");
    }
}

bool OpenForReading(QFile& file, QString* reason) {
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
                            .arg(KindName(kind));
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
    return true;
}

struct SafeSaveFile::Impl {
    enum class Way { Closed, Replace, InPlace };

    QString path;   // as asked, for messages
    QString target; // the file written: links followed
    QString folder;
    Way way = Way::Closed;
    FileStatus old; // kind Missing when there is no old file
    int oldHandle = -1;
    QFile out; // Replace: the temporary file; InPlace: the old file itself
    QString temporary;
    QFile backup; // InPlace: the old content
    QString backupPath;
    std::optional<GuardedWriter> writer;
    QByteArray buffer;
    QString error;

    bool fail(const QString& reason) {
        error = SaveFailure(path, reason);
        return false;
    }
    bool failAndCancel(int errnum, const QString& reason);
    bool openOldFile();
    enum class Outcome { Started, KeepsNoIdentity, Failed };
    Outcome startReplace();
    bool startInPlace();
    bool commitReplace();
    bool commitInPlace();
    void startWriting();
    void closeOld();
    bool restoreOldContent(QString* reason);
};

void SafeSaveFile::Impl::closeOld() {
    if (oldHandle >= 0)
        CloseHandle(oldHandle);
    oldHandle = -1;
}

void SafeSaveFile::Impl::startWriting() {
    writer.emplace(out);
    writer->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

// Gives up, puts everything back, then says why: a full disk is described by what is free once
// the partial files are gone.
bool SafeSaveFile::Impl::failAndCancel(int errnum, const QString& reason) {
    const QString kept = backupPath;
    QString restoreReason;
    bool restored = true;
    if (way == Way::InPlace)
        restored = restoreOldContent(&restoreReason);
    if (way == Way::Replace) {
        out.close();
        QFile::remove(temporary);
        temporary.clear();
    }
    closeOld();
    writer.reset();
    way = Way::Closed;
    QString why = errnum == ENOSPC ? NoSpaceReason(folder) : reason;
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
    const int fd =
        CreateSibling(target, QStringLiteral("saving"), true, replacing, &temporary, &errnum);
    if (fd < 0) {
        temporary.clear();
        fail(FolderRefuses(errnum, folder));
        return Outcome::Failed;
    }
    if ((replacing && !CopyIdentity(oldHandle, old, fd, &errnum)) ||
        !out.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        if (!out.isOpen())
            CloseHandle(fd);
        out.close();
        QFile::remove(temporary);
        temporary.clear();
        return Outcome::KeepsNoIdentity;
    }
    way = Way::Replace;
    startWriting();
    return Outcome::Started;
}

bool SafeSaveFile::Impl::startInPlace() {
    int errnum = 0;
    const int fd =
        CreateSibling(target, QStringLiteral("backup"), false, true, &backupPath, &errnum);
    if (fd < 0) {
        backupPath.clear();
        closeOld();
        return fail(FolderRefuses(errnum, folder));
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
        out.close();
        backup.close();
        QFile::remove(backupPath);
        backupPath.clear();
        closeOld();
        const QString why = QStringLiteral(
            "这个文件有其他硬链接，或本程序无法让新文件保持它的所有者和权限，只能在原处改写；"
            "改写前要先在它旁边存好一份完整的原内容。");
        return fail(QStringLiteral("无法在文件所在的文件夹中保存原内容的备份：%1%2")
                        .arg(copyErrno == ENOSPC ? NoSpaceReason(folder) : reason, why));
    }
    SyncFolder(folder);
    out.seek(0);
    way = Way::InPlace;
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

bool SafeSaveFile::Impl::commitReplace() {
    int errnum = 0;
    if (old.kind != FileKind::Missing && !CopyIdentity(oldHandle, old, out.handle(), &errnum))
        return failAndCancel(
            errnum,
            QStringLiteral("无法让新文件保持原文件的所有者和权限：%1").arg(ReasonForErrno(errnum)));
    if (!SyncHandle(out.handle(), &errnum))
        return failAndCancel(errnum, ReasonForErrno(errnum));
    out.close();
    if (!ReplaceName(temporary, target, &errnum))
        return failAndCancel(errnum, ReasonForErrno(errnum));
    temporary.clear();
    SyncFolder(folder);
    closeOld();
    return true;
}

bool SafeSaveFile::Impl::commitInPlace() {
    int errnum = 0;
    if (!out.resize(out.pos()))
        return failAndCancel(ErrnoFor(out), ReasonFor(out));
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
        return d->fail(
            QStringLiteral("这是一个%1，不是普通文件，不能保存到这里。").arg(KindName(named.kind)));
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
    QString reason;
    const QString kept = d->backupPath;
    d->writer.reset();
    if (d->way == Impl::Way::InPlace && !d->restoreOldContent(&reason))
        d->fail(QStringLiteral("原内容无法写回（%1）。原内容完整地保存在：\n%2")
                    .arg(reason, QDir::toNativeSeparators(kept)));
    if (d->way == Impl::Way::Replace) {
        d->out.close();
        QFile::remove(d->temporary);
        d->temporary.clear();
    }
    d->closeOld();
    d->way = Impl::Way::Closed;
}

QString SafeSaveFile::error() const {
    return d->error;
}
