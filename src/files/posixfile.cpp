#include "files/posixfile.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#if defined(__linux__)
#include <linux/magic.h>
#include <sys/statfs.h>
#endif
#include <unistd.h>

namespace {

FileKind KindOf(mode_t mode) {
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Directory;
    if (S_ISFIFO(mode))
        return FileKind::Fifo;
    if (S_ISCHR(mode))
        return FileKind::CharDevice;
    if (S_ISBLK(mode))
        return FileKind::BlockDevice;
    if (S_ISSOCK(mode))
        return FileKind::Socket;
    return FileKind::Other;
}

FileStatus FromStat(const struct stat& st) {
    FileStatus s;
    s.kind = KindOf(st.st_mode);
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.links = st.st_nlink;
    s.owner = st.st_uid;
    s.group = st.st_gid;
    s.mode = st.st_mode & 07777;
    s.modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

// True for the file systems whose files the system makes up as they are read: their reported
// size says nothing of what a read gives (0 for /proc, a page for /sys).
bool MadeUpBySystem(int handle) {
#if defined(__linux__)
    struct statfs fs {};
    if (fstatfs(handle, &fs) != 0)
        return false;
    switch (fs.f_type) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case PSTOREFS_MAGIC:
    case EFIVARFS_MAGIC:
    case BPF_FS_MAGIC:
        return true;
    default:
        return false;
    }
#else
    Q_UNUSED(handle);
    return false;
#endif
}

// Reads a list or a value of extended attributes; the size is asked first, and again when the
// attribute changed in between.
template <typename Call> bool ReadAttributeBytes(QByteArray& out, Call call) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return false;
        out.resize(size);
        const ssize_t got = call(out.data(), size_t(out.size()));
        if (got >= 0) {
            out.resize(got);
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

// The names of a file's extended attributes, each ended by a zero byte; empty where the file
// system holds none.
bool AttributeNames(int handle, QByteArray& names, int* errnum) {
    if (ReadAttributeBytes(names,
                           [handle](char* buf, size_t n) { return flistxattr(handle, buf, n); }))
        return true;
    names.clear();
    if (errno == ENOTSUP || errno == ENOSYS)
        return true;
    *errnum = errno;
    return false;
}

bool HasName(const QByteArray& names, const char* name) {
    for (qsizetype at = 0; at < names.size();
         at += qsizetype(qstrlen(names.constData() + at)) + 1) {
        if (qstrcmp(names.constData() + at, name) == 0)
            return true;
    }
    return false;
}

// Makes the extended attributes (access lists included) of `to` those of `from`.
bool CopyExtendedAttributes(int from, int to, int* errnum) {
    QByteArray names;
    QByteArray existing;
    if (!AttributeNames(from, names, errnum) || !AttributeNames(to, existing, errnum))
        return false;
    for (qsizetype at = 0; at < existing.size();) {
        const char* name = existing.constData() + at;
        at += qsizetype(qstrlen(name)) + 1;
        if (!HasName(names, name) && fremovexattr(to, name) != 0) {
            *errnum = errno;
            return false;
        }
    }
    for (qsizetype at = 0; at < names.size();) {
        const char* name = names.constData() + at;
        at += qsizetype(qstrlen(name)) + 1;
        QByteArray value;
        QByteArray present;
        if (!ReadAttributeBytes(value, [from, name](char* buf, size_t n) {
                return fgetxattr(from, name, buf, n);
            })) {
            *errnum = errno;
            return false;
        }
        if (ReadAttributeBytes(
                present, [to, name](char* buf, size_t n) { return fgetxattr(to, name, buf, n); }) &&
            present == value)
            continue;
        if (fsetxattr(to, name, value.constData(), size_t(value.size()), 0) != 0) {
            *errnum = errno;
            return false;
        }
    }
    return true;
}

} // namespace

FileStatus StatusOfPath(const QString& path, bool followLinks, int* errnum) {
    struct stat st {};
    const QByteArray name = QFile::encodeName(path);
    if ((followLinks ? stat(name.constData(), &st) : lstat(name.constData(), &st)) != 0) {
        *errnum = errno;
        return {};
    }
    return FromStat(st);
}

FileStatus StatusOfHandle(int handle, int* errnum) {
    struct stat st {};
    if (fstat(handle, &st) != 0) {
        *errnum = errno;
        return {};
    }
    FileStatus s = FromStat(st);
    s.madeUp = s.kind == FileKind::Regular && MadeUpBySystem(handle);
    return s;
}

int OpenExisting(const QString& path, bool forWriting, int* errnum) {
    const int flags =
        O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (forWriting ? O_RDWR | O_NOFOLLOW : O_RDONLY);
    const int fd = open(QFile::encodeName(path).constData(), flags);
    if (fd < 0)
        *errnum = errno;
    return fd;
}

int CreateNewFile(const QString& path, bool ownerOnly, int* errnum) {
    const int fd =
        open(QFile::encodeName(path).constData(),
             O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, ownerOnly ? 0600 : 0666);
    if (fd < 0)
        *errnum = errno;
    return fd;
}

void CloseHandle(int handle) {
    close(handle);
}

int CreateNamelessFile(const QString& folder, bool ownerOnly, bool* nameable, int* errnum) {
    const QByteArray where = QFile::encodeName(folder);
    const mode_t mode = ownerOnly ? 0600 : 0666;
#if defined(O_TMPFILE)
    const int fd = open(where.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd >= 0) {
        *nameable = true;
        return fd;
    }
    // File systems without such files say so in several ways; any other reason is final.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
        *errnum = errno;
        return -1;
    }
#endif
    *nameable = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name =
            where + "/.trennix-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        const int made =
            open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (made >= 0) {
            unlink(name.constData());
            return made;
        }
        if (errno != EEXIST) {
            *errnum = errno;
            return -1;
        }
    }
    *errnum = EEXIST;
    return -1;
}

bool NameFile(int handle, const QString& path, int* errnum) {
#if defined(__linux__)
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(handle);
    if (linkat(AT_FDCWD, self.constData(), AT_FDCWD, QFile::encodeName(path).constData(),
               AT_SYMLINK_FOLLOW) == 0)
        return true;
    *errnum = errno;
#else
    Q_UNUSED(handle);
    Q_UNUSED(path);
    *errnum = ENOTSUP;
#endif
    return false;
}

bool CopyIdentity(int from, const FileStatus& status, int to, int* errnum) {
    FileStatus now = StatusOfHandle(to, errnum);
    if (now.kind == FileKind::Missing)
        return false;
    // The owner first: changing it may clear setuid and setgid, which the mode then sets again.
    if ((now.owner != status.owner || now.group != status.group) &&
        fchown(to, status.owner, status.group) != 0) {
        *errnum = errno;
        return false;
    }
    if (!CopyExtendedAttributes(from, to, errnum))
        return false;
    // Only a mode that differs is set: some file systems refuse any change of it.
    now = StatusOfHandle(to, errnum);
    if (now.mode != status.mode && !SetMode(to, status.mode, errnum))
        return false;
    now = StatusOfHandle(to, errnum);
    if (now.owner != status.owner || now.group != status.group || now.mode != status.mode) {
        *errnum = EPERM; // the system quietly dropped a bit, as it does with setgid
        return false;
    }
    return true;
}

bool SetMode(int handle, uint mode, int* errnum) {
    if (fchmod(handle, mode_t(mode)) != 0) {
        *errnum = errno;
        return false;
    }
    return true;
}

bool SyncHandle(int handle, int* errnum) {
    if (fsync(handle) != 0) {
        *errnum = errno;
        return false;
    }
    return true;
}

void StartWriteback(int handle) {
#if defined(__linux__)
    // The whole file: pages already on their way are left alone. Without a flag that waits, a
    // failure to write is neither seen nor cleared here: the sync that follows still reports it
    // (a waiting flag would take it before the sync could).
    sync_file_range(handle, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    Q_UNUSED(handle);
#endif
}

void SyncFolder(const QString& folder) {
    const int fd = open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);
    close(fd);
}

bool ReplaceName(const QString& from, const QString& to, int* errnum) {
    if (rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        *errnum = errno;
        return false;
    }
    return true;
}

bool ReadLink(const QString& path, QString* target, int* errnum) {
    QByteArray buffer(PATH_MAX, Qt::Uninitialized);
    const ssize_t got =
        readlink(QFile::encodeName(path).constData(), buffer.data(), size_t(buffer.size()));
    if (got < 0) {
        *errnum = errno;
        return false;
    }
    if (got >= buffer.size()) {
        *errnum = ENAMETOOLONG;
        return false;
    }
    buffer.truncate(got);
    *target = QFile::decodeName(buffer);
    return true;
}

QString ResolvedPath(const QString& path) {
    char* resolved = realpath(QFile::encodeName(path).constData(), nullptr);
    if (!resolved)
        return {};
    QString result = QFile::decodeName(resolved);
    free(resolved);
    return result;
}

QString OwnHandlesFolder() {
#if defined(__linux__)
    return ResolvedPath(QStringLiteral("/proc/self/fd"));
#else
    return {};
#endif
}

qint64 FileSizeLimit() {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return -1;
    return qint64(limit.rlim_cur);
}

void IgnoreFileSizeSignal() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGXFSZ, &action, nullptr);
}
